#!/usr/bin/env bash
# Builds kavor-unzip and the inflate and CRC-32 benchmarks (Release, build-bench/), makes a ~50 MB
# corpus of text and binaries from this machine and the archives below, and prints inflate
# throughput against zlib, CRC-32 throughput both ways, and whole-archive extraction against Info-ZIP unzip and 7-Zip (medians of RUNS
# runs, default 7). Needs zip, unzip, 7z, python3, GNU time and zlib1g-dev
# (scripts/install-deps.sh --bench).
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${RUNS:-7}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVOR_BUILD_BENCH=ON \
    -DKAVOR_BUILD_TESTS=OFF -DKAVOR_BUILD_GUI=OFF >/dev/null
cmake --build build-bench --target kavor-unzip inflate_bench crc32_bench >/dev/null

work=$(mktemp -d /tmp/kavor-unzip-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "$(date -u +%Y-%m-%d), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
    "$(nproc) cores, $(c++ --version | head -1)"
python3 bench/unzip/make_corpus.py "$work"
(cd "$work" && zip -q -r -6 corpus.zip corpus && zip -q -6 single.zip corpus.cat)
python3 bench/unzip/make_legacy_archives.py tests/data/zip "$work" 100 200

echo "== inflate, one deflate stream of the whole corpus"
build-bench/bench/unzip/inflate_bench "$work/corpus.cat" "$runs"

echo "== CRC-32"
build-bench/bench/unzip/crc32_bench 1024 "$runs"

echo "== whole archives"
KAVOR_UNZIP=build-bench/src/unzip/kavor-unzip python3 bench/unzip/compare_extractors.py "$runs" \
    "$work/corpus.zip" "$work/single.zip" "$work/imploded.zip" "$work/shrunk.zip" \
    tests/data/zip/implode_8k3t_lorem_commons_compress.zip \
    tests/data/zip/shrink_generated_clears.zip
