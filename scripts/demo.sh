#!/usr/bin/env bash
# Builds Kavor Updater and runs it against a sample update site on 127.0.0.1:
#   - a few ZIP archives of sample *.vdb databases and an update page linking them,
#     served by nginx;
#   - a copy of kavor-updater with a config.ini beside it pointing at that page;
#   - one silent update run (-U), then the archive and Kavor directories are listed;
#   - with a display, the window opens so you can press "Обновить базы" yourself.
# Everything lives in build/demo/ and the web server stops when the script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target kavor-updater

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo"/{site/download/update,program,kavor,basa,nginx/tmp,work}

# Sample databases, one archive each; the daily databases change every day and are fetched at
# every run, and KAVOR32.ZIP / TXMOD.ZIP are on the page but never fetched.
make_db() { # name, contents
    printf 'KAVOR DATABASE %s\r\n%s\r\n' "$1" "$2" >"$demo/work/$1"
}
make_db KVO44301.VDB "signatures of Win32 viruses"
make_db KVO44302.VDB "signatures of macro viruses"
make_db KVOTODAY.VDB "today's signatures, $(date +%F)"
make_db NASTY.VDB "adware and dialers"
make_db RISKY.VDB "joke programs"
make_db KVO44300.VDB "an old database the installation already has"
(cd "$demo/work" &&
    zip -q -9 "$demo/site/download/update/kvo44301.zip" KVO44301.VDB &&
    zip -q -9 "$demo/site/download/update/kvo44302.zip" KVO44302.VDB &&
    zip -q -9 "$demo/site/download/update/kvotoday.zip" KVOTODAY.VDB &&
    zip -q -9 "$demo/site/download/update/nasty.zip" NASTY.VDB &&
    zip -q -0 "$demo/site/download/update/risky.zip" RISKY.VDB &&
    zip -q -9 "$demo/site/download/update/kvo44300.zip" KVO44300.VDB &&
    cp KVO44300.VDB "$demo/kavor/")
printf 'not a real installer\n' >"$demo/site/download/update/kavor32.zip"

port=$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
base="http://127.0.0.1:$port/download/update"
cat >"$demo/site/download/update/index.html" <<HTML
<html><head><title>Kavor: database updates</title></head><body>
<h1>Kavor antivirus: database updates</h1>
<ul>
<li><a href="$base/kavor32.zip">Kavor 32 (full installer)</a></li>
<li><a href="$base/kvo44300.zip">kvo44300.zip</a></li>
<li><a href="$base/kvo44301.zip">kvo44301.zip</a></li>
<li><a href="$base/kvo44302.zip">kvo44302.zip</a></li>
<li><a href="$base/kvotoday.zip">kvotoday.zip (daily)</a></li>
<li><a href="$base/nasty.zip">nasty.zip (adware and dialers)</a></li>
<li><a href="$base/risky.zip">risky.zip (joke programs)</a></li>
</ul></body></html>
HTML

sed -e "s/@PORT@/$port/; s#@DOCROOT@#$demo/site#" scripts/demo/nginx.conf >"$demo/nginx/nginx.conf"
nginx -p "$demo/nginx" -c "$demo/nginx/nginx.conf"
stop_nginx() { kill -QUIT "$(cat "$demo/nginx/nginx.pid" 2>/dev/null)" 2>/dev/null || true; }
trap stop_nginx EXIT

cp build/src/app/kavor-updater "$demo/program/"
cat >"$demo/program/config.ini" <<INI
[MAIN]
updatepath=$base/
kvopath=$demo/kavor
archpath=$demo/basa
unpack=1
nasty=1
risk=0
INI

echo
echo "== The sample update page: $base/"
echo "== Kavor directory before the run:"
ls -l "$demo/kavor"
echo
echo "== Silent run: $demo/program/kavor-updater -U"
status=0
(cd / && "$demo/program/kavor-updater" -U) || status=$?
echo "   exit status $status"
echo
echo "== Archive directory after the run (risky.zip is left out: joke programs are off; kvo44300.zip"
echo "   because KVO44300.VDB is installed; kavor32.zip is never fetched):"
ls -l "$demo/basa"
echo
echo "== Kavor directory after the run (the archives were unpacked):"
ls -l "$demo/kavor"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    echo
    echo "== Opening the window; press \"Обновить базы\" (Ctrl+U) to run again, close it to end the demo."
    "$demo/program/kavor-updater"
else
    echo
    echo "No display: run $demo/program/kavor-updater yourself on a desktop to see the window."
fi
