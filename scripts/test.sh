#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs every test;
# then builds the non-GUI tests again with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs them. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

# The Release configuration is the one that ships (scripts/package.sh packages this build); its
# tests include the Debian package made from it.
echo "== build and test the Release configuration"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVOR_WERROR=ON
cmake --build build-release -j"$jobs"
ctest --test-dir build-release -j"$jobs" --timeout 300

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVOR_SANITIZE=ON -DKAVOR_BUILD_GUI=OFF \
    -DKAVOR_WERROR=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j"$jobs" --timeout 600

echo "== all tests passed"
