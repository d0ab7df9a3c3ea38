#!/usr/bin/env bash
# Sets everything up and runs every test: the unit and end-to-end tests
# (ctest), the sanitizer build of the same tests, and the fuzz targets for a
# bounded time. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${TQ_FUZZ_SECONDS:-60}

# Sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer +
# LeakSanitizer): the fuzz targets and the core's tests.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTQ_FUZZ=ON -DTQ_BUILD_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "$jobs"
echo "== sanitizer build: core tests"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-fuzz -j "$jobs" --output-on-failure \
  --label-exclude gui
echo "== fuzzing, ${fuzz_seconds} s each"
bash fuzz/run.sh build-fuzz "$fuzz_seconds"

# The ordinary build with the window, and every test (its summary closes the run).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
echo "== all tests"
ctest --test-dir build -j "$jobs" --output-on-failure
