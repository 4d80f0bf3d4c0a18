#!/usr/bin/env bash
# Downloads from a local nginx with kavor-get and with curl, side by side, each writing to a file
# on the same file system: one 200 MiB file, one 2 MiB file, and 20 files of 1 to 5 MiB over one
# kept-alive connection. Each tool runs RUNS times, the two
# alternating; the medians of wall time and peak memory (maximum resident set) are printed
# with their ratios. Needs nginx, curl and GNU time (scripts/install-deps.sh --bench).
#
# Usage: bench/http/run.sh [RUNS]        (default 7)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-7}

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVOR_BUILD_BENCH=ON \
    -DKAVOR_BUILD_TESTS=OFF -DKAVOR_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target kavor-get >/dev/null
get="$PWD/$build/src/http/kavor-get"

work=$(mktemp -d)
nginx_pid=
cleanup() {
    [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# --- the server
free_port() { python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])'; }
port=$(free_port)
backend=$(free_port)
mkdir -p "$work/nginx/tmp" "$work/www" "$work/out"
sed -e "s/@NGINX_PORT@/$port/g; s/@BACKEND_PORT@/$backend/g; s#@DOCROOT@#$work/www#g" \
    tests/support/nginx.conf >"$work/nginx/nginx.conf"

head -c $((200 * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"
head -c $((2 * 1024 * 1024)) /dev/urandom >"$work/www/mid.bin"
small_urls=()
for i in $(seq 1 20); do
    size=$((1 + (i * 7) % 5))
    head -c $((size * 1024 * 1024)) /dev/urandom >"$work/www/small$i.zip"
    small_urls+=("http://127.0.0.1:$port/small$i.zip")
done

nginx -p "$work/nginx/" -e "$work/nginx/error.log" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 100); do
    [[ -s $work/nginx/nginx.pid ]] && curl -s -o /dev/null "http://127.0.0.1:$port/" && break
    sleep 0.05
done

# --- the two tools for each case
big_get=("$get" "http://127.0.0.1:$port/big.bin" "$work/out/big.bin")
big_curl=(curl -s -o "$work/out/big.bin" "http://127.0.0.1:$port/big.bin")
mid_get=("$get" "http://127.0.0.1:$port/mid.bin" "$work/out/mid.bin")
mid_curl=(curl -s -o "$work/out/mid.bin" "http://127.0.0.1:$port/mid.bin")
small_get=("$get")
small_curl=(curl -s)
for i in $(seq 1 20); do
    small_get+=("${small_urls[i - 1]}" "$work/out/small$i.zip")
    small_curl+=(-o "$work/out/small$i.zip" "${small_urls[i - 1]}")
done

# One run: "<seconds> <peak KiB>".
measure() {
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
    end=$(date +%s%N)
    echo "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }') $(cat "$work/time")"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

verify() {
    cmp -s "$work/www/big.bin" "$work/out/big.bin" || { echo "big.bin differs" >&2; exit 1; }
    for i in $(seq 1 20); do
        cmp -s "$work/www/small$i.zip" "$work/out/small$i.zip" || { echo "small$i.zip differs" >&2; exit 1; }
    done
}

run_case() {
    local name=$1 mb=$2
    local -n a=$3 b=$4
    : >"$work/get.txt"
    : >"$work/curl.txt"
    "${a[@]}" >/dev/null
    "${b[@]}" >/dev/null # warm the page cache for both
    for _ in $(seq "$runs"); do
        rm -f "$work"/out/*
        measure "${a[@]}" >>"$work/get.txt"
        [[ $name == big ]] && cmp -s "$work/www/big.bin" "$work/out/big.bin"
        rm -f "$work"/out/*
        measure "${b[@]}" >>"$work/curl.txt"
    done
    local gt gm ct cm
    gt=$(cut -d' ' -f1 "$work/get.txt" | median)
    gm=$(cut -d' ' -f2 "$work/get.txt" | median)
    ct=$(cut -d' ' -f1 "$work/curl.txt" | median)
    cm=$(cut -d' ' -f2 "$work/curl.txt" | median)
    awk -v n="$name" -v mb="$mb" -v gt="$gt" -v gm="$gm" -v ct="$ct" -v cm="$cm" 'BEGIN {
        printf "%-6s kavor-get %7.3f s %8.1f MiB | curl %7.3f s %6.1f MiB | time ratio %.2f, memory ratio %.2f | %s MB at %.0f MB/s vs %.0f MB/s\n",
            n, gt, gm / 1024, ct, cm / 1024, gt / ct, gm / cm, mb, mb / gt, mb / ct }'
    awk -v gm="$gm" -v cm="$cm" 'BEGIN { printf "       kavor-get peak minus curl'"'"'s: %+.1f MiB\n", (gm - cm) / 1024 }'
}

"${small_get[@]}" >/dev/null
"${big_get[@]}" >/dev/null
verify
echo "medians of $runs runs each, alternating; machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
run_case big 209.7 big_get big_curl
run_case mid 2.1 mid_get mid_curl
small_total=$(du -cb "$work"/www/small*.zip | tail -1 | awk '{ printf "%.1f", $1 / 1e6 }')
run_case small "$small_total" small_get small_curl
# One connection served all 20 small files of a kavor-get run.
awk '/small20.zip/ && /Kavor/ { if ($0 !~ / n=20 /) bad = 1 } END { exit bad }' "$work/nginx/access.log" ||
    { echo "kavor-get did not reuse its connection" >&2; exit 1; }
