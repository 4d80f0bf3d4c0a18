#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs every test;
# then builds the non-GUI tests again with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs them. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --timeout 300

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVOR_SANITIZE=ON -DKAVOR_BUILD_GUI=OFF
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j"$jobs" --timeout 600

echo "== all tests passed"
