#!/usr/bin/env bash
# Sets up, builds the test configuration (Debug, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-test/ and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLK_SANITIZE=ON -DLK_BUILD_TESTS=ON -DLK_WERROR=ON >/dev/null
cmake --build build-test -j "$jobs"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cd build-test
ctest --output-on-failure -j "$jobs" "$@"
