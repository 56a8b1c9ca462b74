#!/usr/bin/env bash
# The checks no compiler makes: the house format over every source of the
# tree, and clang-tidy (.clang-tidy) over src/.
#   scripts/check-style.sh BUILD_FOLDER   (a configured build: its compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-style.sh BUILD_FOLDER}

git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

git ls-files -z 'src/*.cpp' | xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$build" --quiet 2>/dev/null
