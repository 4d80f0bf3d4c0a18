#!/usr/bin/env bash
# Installs, only when missing, what building and testing Kavor Updater needs on Debian 12.
# Runs as root (CI machines) or through sudo; does nothing when every package is present.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libssl-dev
    qt6-base-dev fonts-dejavu-core
    # test peers: web server (its Debian build has the ssl module), proxy, archivers, the fault
    # servers' interpreter, and the openssl command that makes the test PKI
    nginx libnginx-mod-http-echo tinyproxy-bin curl python3 zip unzip p7zip-full openssl
    # the Debian package and its checks: dpkg-shlibdeps, cpack's file, the desktop entry, man
    dpkg-dev file desktop-file-utils man-db bsdextrautils
)
for extra in "$@"; do
    case "$extra" in
        # benchmarks compare with zlib, libdeflate, Info-ZIP, 7-Zip and curl, time whole commands
        # and count instructions
        --bench) packages+=(zlib1g-dev libdeflate-dev hyperfine time valgrind) ;;
        # fuzz targets are built with clang and libFuzzer; zlib checks the inflate target
        --fuzz) packages+=(clang-14 libclang-rt-14-dev zlib1g-dev) ;;
        # screenshots under a virtual X server
        --screens) packages+=(xvfb xauth imagemagick xdotool x11-utils openbox) ;;
        *) echo "usage: $0 [--bench] [--fuzz] [--screens]" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "installing: ${missing[*]}"
sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
