#!/usr/bin/env bash
# Builds the Debian package of Kavor Updater from the Release build in build-release/ (the build
# scripts/test.sh tests) and prints its path: build-release/kavor-updater_VERSION_ARCH.deb.
# The package installs into /opt/kavor-updater and the system's places; see README.md.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVOR_WERROR=ON >/dev/null
cmake --build build-release -j"$(nproc)"
rm -f build-release/kavor-updater_*.deb
(cd build-release && cpack -G DEB >/dev/null)
ls build-release/kavor-updater_*.deb
