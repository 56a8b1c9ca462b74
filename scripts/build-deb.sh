#!/usr/bin/env bash
# Builds the Debian package: build-deb/tessaly_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSALY_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-deb --target tessaly
(cd build-deb && cpack -G DEB)
