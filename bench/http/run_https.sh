#!/usr/bin/env bash
# Downloads one 200 MiB file over https from a local nginx (tests/support/nginx-tls.conf on the
# test PKI) with kavor-get and with curl, alternating run by run; prints the medians of wall time
# and peak memory (maximum resident set) with their ratios, and the protocol and cipher suite
# each tool negotiated. Both trust the test CA only: kavor-get through SSL_CERT_FILE, curl
# through --cacert. Needs nginx, curl, openssl and GNU time (scripts/install-deps.sh --bench).
#
# Usage: bench/http/run_https.sh [RUNS]        (default 7)
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

free_port() { python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])'; }
good=$(free_port) wrong=$(free_port) expired=$(free_port) self=$(free_port) http=$(free_port)
mkdir -p "$work/nginx/tmp" "$work/www" "$work/out"
sh tests/support/make-test-pki.sh "$work/pki" >/dev/null
sed -e "s/@TLS_GOOD_PORT@/$good/g; s/@TLS_WRONGHOST_PORT@/$wrong/g; s/@TLS_EXPIRED_PORT@/$expired/g" \
    -e "s/@TLS_SELFSIGNED_PORT@/$self/g; s/@HTTP_PORT@/$http/g; s#@DOCROOT@#$work/www#g" \
    -e "s#@PKI_DIR@#$work/pki#g; s#@RUN_DIR@#$work/nginx#g" \
    tests/support/nginx-tls.conf >"$work/nginx/nginx.conf"
head -c $((200 * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"

nginx -p "$work/nginx/" -e "$work/nginx/error.log" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
ca="$work/pki/ca.crt"
url="https://127.0.0.1:$good"
for _ in $(seq 100); do
    [[ -s $work/nginx/nginx.pid ]] && curl -s --cacert "$ca" -o /dev/null "$url/" && break
    sleep 0.05
done
export SSL_CERT_FILE=$ca
unset SSL_CERT_DIR

big_get=("$get" "$url/big.bin" "$work/out/big.bin")
big_curl=(curl -s --cacert "$ca" -o "$work/out/big.bin" "$url/big.bin")

# One run: "<seconds> <peak KiB>".
measure() {
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null
    end=$(date +%s%N)
    echo "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }') $(cat "$work/time")"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

"${big_get[@]}" >/dev/null
cmp -s "$work/www/big.bin" "$work/out/big.bin" || { echo "kavor-get: big.bin differs" >&2; exit 1; }
"${big_curl[@]}"
: >"$work/get.txt"
: >"$work/curl.txt"
for _ in $(seq "$runs"); do
    rm -f "$work"/out/*
    measure "${big_get[@]}" >>"$work/get.txt"
    cmp -s "$work/www/big.bin" "$work/out/big.bin" || { echo "kavor-get: big.bin differs" >&2; exit 1; }
    rm -f "$work"/out/*
    measure "${big_curl[@]}" >>"$work/curl.txt"
done

"$get" "$url/tls-info" "$work/out/get-tls" >/dev/null
curl -s --cacert "$ca" -o "$work/out/curl-tls" "$url/tls-info"
echo "medians of $runs runs each, alternating; machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v gt="$(cut -d' ' -f1 "$work/get.txt" | median)" -v gm="$(cut -d' ' -f2 "$work/get.txt" | median)" \
    -v ct="$(cut -d' ' -f1 "$work/curl.txt" | median)" -v cm="$(cut -d' ' -f2 "$work/curl.txt" | median)" 'BEGIN {
    printf "https  kavor-get %7.3f s %8.1f MiB | curl %7.3f s %6.1f MiB | time ratio %.2f, memory ratio %.2f | 209.7 MB at %.0f MB/s vs %.0f MB/s\n",
        gt, gm / 1024, ct, cm / 1024, gt / ct, gm / cm, 209.7 / gt, 209.7 / ct
    printf "       kavor-get peak minus curl'"'"'s: %+.1f MiB\n", (gm - cm) / 1024 }'
echo "kavor-get negotiated: $(cat "$work/out/get-tls")"
echo "curl negotiated:      $(cat "$work/out/curl-tls")"
echo "kavor-get times: $(cut -d' ' -f1 "$work/get.txt" | tr '\n' ' ')"
echo "curl times:      $(cut -d' ' -f1 "$work/curl.txt" | tr '\n' ' ')"
