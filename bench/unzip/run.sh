#!/usr/bin/env bash
# Builds kavor-unzip and the inflate and CRC-32 benchmarks (Release, build-bench/), makes a ~50 MB
# corpus of text and binaries from this machine and the archives below, and prints inflate
# throughput against zlib and libdeflate with each decoder's instructions per output byte
# (callgrind), CRC-32 throughput both ways, and whole-archive extraction into a memory file
# system (/dev/shm) against Info-ZIP unzip and 7-Zip (medians of RUNS runs, default 7). Needs
# zip, unzip, 7z, python3, GNU time, valgrind, zlib1g-dev and libdeflate-dev
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
python3 - "$work/corpus.cat" "$work/corpus.deflate" <<'PY'
import sys, zlib
data = open(sys.argv[1], "rb").read()
c = zlib.compressobj(6, zlib.DEFLATED, -15, 8)  # as zip -6 writes it
open(sys.argv[2], "wb").write(c.compress(data) + c.flush())
PY
build-bench/bench/unzip/inflate_bench "$work/corpus.deflate" "$runs"
size=$(stat -c %s "$work/corpus.cat")
for decoder in kavor zlib libdeflate; do
    instructions=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null --collect-atstart=no \
        --toggle-collect='*decodeWith*' build-bench/bench/unzip/inflate_bench \
        "$work/corpus.deflate" 1 "$decoder" 2>&1 | sed -nE 's/.*Collected : ([0-9]+).*/\1/p')
    echo "$decoder: $(python3 -c "print(f'{$instructions / $size:.2f}')") instructions per output byte"
done

echo "== CRC-32"
build-bench/bench/unzip/crc32_bench 1024 "$runs"

echo "== whole archives"
scratch=$([[ -w /dev/shm ]] && echo /dev/shm || echo /tmp)
TMPDIR=$scratch KAVOR_UNZIP=build-bench/src/unzip/kavor-unzip python3 bench/unzip/compare_extractors.py "$runs" \
    "$work/corpus.zip" "$work/single.zip" "$work/imploded.zip" "$work/shrunk.zip" \
    tests/data/zip/implode_8k3t_lorem_commons_compress.zip \
    tests/data/zip/shrink_generated_clears.zip
