#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSALY_SANITIZE=ON -DTESSALY_TESTS=ON -DTESSALY_WERROR=ON
cmake --build build-asan -j "$(nproc)"
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

# The fuzz targets (clang, a folder of their own) build, and each runs a few
# seconds from its seeds, so a target that no longer links or falls over at
# once is found here.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTESSALY_FUZZ=ON -DTESSALY_TESTS=OFF
targets=$(sed -n 's/^tessaly_fuzz_replay(\([a-z0-9_]*\) .*/\1/p' fuzz/Replay.cmake)
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$(nproc)" --target $targets
passed=0
for t in $targets; do
  seeds=$(sed -n "s/^tessaly_fuzz_replay($t \([a-z0-9_]*\))$/\1/p" fuzz/Replay.cmake)
  corpus=$(mktemp -d)
  if ! build-fuzz/fuzz/"$t" -max_total_time=5 -timeout=10 -rss_limit_mb=2048 "$corpus" "fuzz/seeds/$seeds" \
      >build-fuzz/"$t".log 2>&1; then
    tail -40 build-fuzz/"$t".log
    echo "fuzz: $passed passed, 1 failed ($t)"
    exit 1
  fi
  rm -rf "$corpus"
  passed=$((passed + 1))
done
echo "fuzz: $passed passed, 0 failed"
