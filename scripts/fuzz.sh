#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang-14, AddressSanitizer, UndefinedBehaviorSanitizer and
# libFuzzer, then runs every target in turn against its seeds for a bounded time. Fails when any
# target finds something (crash, sanitizer report, leak, an input slower than 2 s, more than
# 2 GB of memory, a broken check); the input that did it is kept in build-fuzz/findings/<target>/.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET[:SECONDS]...]]
#   SECONDS_PER_TARGET defaults to $KAVOR_FUZZ_SECONDS, else 60; TARGETs default to all; a
#   TARGET:SECONDS runs that target for its own time.
#   KAVOR_FUZZ_LANES=N runs the targets in N lanes side by side (one core each), in the order
#   given, each lane taking the next target when its last one is done.
#   KAVOR_FUZZ_SAVE=1 afterwards merges each target's corpus into fuzz/campaign/<target>, minimized
#   (libFuzzer's -merge), so that the replay test runs it and the next campaign starts from it.
# The figures of each target (executions, coverage, findings) are printed at the end and kept in
# build-fuzz/summary.md.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${KAVOR_FUZZ_SECONDS:-60}}
[[ $# -gt 0 ]] && shift
all_targets=(unzip_archive inflate explode unshrink url cookie http_response url_reference
    connect_answer page_scan ini_file
    password)
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${all_targets[@]}")
lanes=${KAVOR_FUZZ_LANES:-1}
for entry in "${targets[@]}"; do
    target=${entry%%:*}
    if [[ " ${all_targets[*]} " != *" $target "* ]]; then
        echo "unknown target $target; the targets: ${all_targets[*]}" >&2
        exit 2
    fi
done

scripts/install-deps.sh --fuzz

build=build-fuzz
echo "== build the fuzz targets (clang-14, ASan, UBSan, libFuzzer)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 \
    -DKAVOR_BUILD_FUZZ=ON -DKAVOR_SANITIZE=ON -DKAVOR_BUILD_GUI=OFF -DKAVOR_BUILD_TESTS=OFF
cmake --build "$build"

# Seeds beyond the hand-made ones: the ZIP fixtures, and the compressed data of their members for
# the decoders.
seeds="$build/seeds"
rm -rf "$seeds"
python3 fuzz/extract_streams.py "$seeds" tests/data/zip/*.zip
# Every regression input seeds its target again (tests/regressions/<what it pins>/<target>[.n]).
for input in tests/regressions/*/*; do
    [[ -f $input ]] || continue
    name=$(basename "$input")
    mkdir -p "$seeds/${name%%.*}"
    cp "$input" "$seeds/${name%%.*}/$(basename "$(dirname "$input")")-$name"
done
# Decoder inputs are kept short enough for many runs a second (longer seeds are cut): a few
# kilobytes of compressed data already expand past several windows. The HTTP client reserves a
# body's announced length (up to its bound of 2 GiB - 1) before the body arrives; the pages are
# used only as bytes come, so a single allocation that large is allowed while the memory the
# process really uses stays limited to 2 GB.
options_for() {
    case "$1" in
        inflate | explode | unshrink) echo "-max_len=16384" ;;
        http_response) echo "-malloc_limit_mb=4096" ;;
    esac
}
seed_dirs() {
    local dirs=("fuzz/corpus/$1" "fuzz/campaign/$1" "$seeds/$1")
    case "$1" in
        unzip_archive) dirs+=(tests/data/zip) ;;
    esac
    for d in "${dirs[@]}"; do [[ -d $d ]] && echo "$d"; done
}

# The archive target extracts into TMPDIR: a memory file system spares the disk.
scratch=$(mktemp -d "$([[ -w /dev/shm ]] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/kavor-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

summary="$build/summary.md"
{
    echo "| target | seconds | executions | exec/s | cov | ft | corpus | peak RSS MB | result |"
    echo "|---|---|---|---|---|---|---|---|---|"
} > "$summary"
# One target's run; its figures go to build-fuzz/rows/<target>, its failure to .../failed.
fuzz_one() {
    local target=${1%%:*} seconds=$seconds
    [[ $1 == *:* ]] && seconds=${1#*:}
    echo "== fuzz $target for $seconds s"
    local work="$build/corpus/$target" findings="$build/findings/$target"
    rm -rf "$work" "$findings"
    mkdir -p "$work" "$findings"
    local log="$build/logs/$target.log"
    mkdir -p "$(dirname "$log")"
    local status=0
    # An input slower than 2 s is a finding (the work of any input is bounded by its size and
    # what it declares), and the whole process may hold at most 2 GB.
    # shellcheck disable=SC2046
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=2 \
        -rss_limit_mb=2048 -artifact_prefix="$findings/" $(options_for "$target") \
        "$work" $(seed_dirs "$target") \
        > "$log" 2>&1 || status=$?
    local last cov ft corp result=clean
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    stat() { grep -E "^stat::$1:" "$log" | awk '{print $2}' | tail -1; }
    cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<< "$last")
    ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<< "$last")
    corp=$(sed -nE 's/.* corp: ([0-9]+\/[0-9A-Za-z]+).*/\1/p' <<< "$last")
    if [[ $status -ne 0 ]]; then
        result="FINDING (exit $status): $(ls "$findings" | tr '\n' ' ')"
        touch "$build/rows/$target.failed"
        grep -E 'ERROR|fuzz check failed|SUMMARY|runtime error' "$log" | head -5 || true
    fi
    echo "| $target | $seconds | $(stat number_of_executed_units) | $(stat average_exec_per_sec) |" \
        "${cov:-?} | ${ft:-?} | ${corp:-?} | $(stat peak_rss_mb) | $result |" > "$build/rows/$target"
    cat "$build/rows/$target"
}

rm -rf "$build/rows"
mkdir -p "$build/rows"
# The lanes: lane k takes targets k, k + lanes, k + 2 lanes, ... one after the other.
for ((lane = 0; lane < lanes; ++lane)); do
    (
        for ((i = lane; i < ${#targets[@]}; i += lanes)); do
            fuzz_one "${targets[i]}"
        done
    ) &
done
wait
failed=()
for entry in "${targets[@]}"; do
    target=${entry%%:*}
    cat "$build/rows/$target" >> "$summary"
    [[ -e $build/rows/$target.failed ]] && failed+=("$target")
done

if [[ ${KAVOR_FUZZ_SAVE:-0} == 1 ]]; then
    for entry in "${targets[@]}"; do
        target=${entry%%:*}
        kept="fuzz/campaign/$target"
        merged="$build/merged/$target"
        rm -rf "$merged"
        mkdir -p "$merged" "$kept"
        # shellcheck disable=SC2046
        "$build/fuzz/fuzz_$target" -merge=1 -timeout=2 -rss_limit_mb=2048 $(options_for "$target") \
            "$merged" "$kept" "$build/corpus/$target" > "$build/logs/$target.merge.log" 2>&1
        rm -rf "$kept"
        mv "$merged" "$kept"
        echo "kept $(ls "$kept" | wc -l) inputs ($(du -sh "$kept" | cut -f1)) in $kept"
    done
fi

echo "== summary ($summary)"
cat "$summary"
if [[ ${#failed[@]} -gt 0 ]]; then
    echo "findings in: ${failed[*]} (inputs in $build/findings/, logs in $build/logs/)" >&2
    exit 1
fi
echo "== every target ran clean"
