#!/usr/bin/env bash
# Builds and runs the update page scan benchmark.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVOR_BUILD_BENCH=ON \
    -DKAVOR_BUILD_TESTS=OFF -DKAVOR_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target scan_page_bench >/dev/null
build-bench/bench/engine/scan_page_bench
