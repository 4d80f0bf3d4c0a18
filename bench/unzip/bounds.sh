#!/usr/bin/env bash
# Builds the bounded-extraction benchmark (Release, build-bench/), makes the crafted archives of
# make_crafted_archives.py and prints, for each, its size, what it declares, the result, the
# bytes the extraction wrote and the median time of RUNS runs (default 5). Needs python3.
# BEFORE=COMMIT also builds the same program against the extractor of that commit (from
# git archive, in a scratch directory) and runs it once on the same archives, for comparison:
# an extractor without the bounds writes gigabytes here.
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${RUNS:-5}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVOR_BUILD_BENCH=ON \
    -DKAVOR_BUILD_TESTS=OFF -DKAVOR_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target bounded_extraction_bench >/dev/null

work=$(mktemp -d /tmp/kavor-bounds-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "$(date -u +%Y-%m-%d), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
    "$(nproc) cores, $(c++ --version | head -1)"
python3 bench/unzip/make_crafted_archives.py "$work/archives" | tee "$work/archives.tsv"
mapfile -t archives < <(cut -f1 "$work/archives.tsv" | sed "s|^|$work/archives/|")
TMPDIR="$work" build-bench/bench/unzip/bounded_extraction_bench "$runs" "${archives[@]}"

if [[ -n ${BEFORE:-} ]]; then
    echo "== the extractor of $BEFORE, one run each"
    mkdir "$work/before"
    git archive "$BEFORE" | tar -x -C "$work/before"
    cp bench/unzip/bounded_extraction_bench.cpp bench/unzip/CMakeLists.txt "$work/before/bench/unzip/"
    cmake -S "$work/before" -B "$work/before/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DKAVOR_BUILD_BENCH=ON -DKAVOR_BUILD_TESTS=OFF -DKAVOR_BUILD_GUI=OFF >/dev/null
    cmake --build "$work/before/build" --target bounded_extraction_bench >/dev/null
    TMPDIR="$work" "$work/before/build/bench/unzip/bounded_extraction_bench" 1 "${archives[@]}"
fi
