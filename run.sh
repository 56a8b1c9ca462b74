#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tessaly 2002 from its own folder.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_TESTS=OFF
cmake --build build --target tessaly
exec build/tessaly/tessaly "$@"
