#!/usr/bin/env bash
# Takes the README's pictures: the main window after an update run against a local sample site,
# the options dialog and the about box, on a virtual X server with a window manager (so the
# captions show). Writes docs/progress.png (a run downloading), docs/main-window.png (after the
# run), docs/options.png and docs/about.png.
# Not part of the tests; needs `scripts/install-deps.sh --screens`, which it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh --screens
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target kavor-updater

work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
    [[ -s $work/nginx/nginx.pid ]] && kill -QUIT "$(cat "$work/nginx/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The sample update site: a page with absolute links to three database archives.
port=$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
backend=$(python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])')
mkdir -p "$work/www/update" "$work/nginx/tmp" "$work/vdb" "$work/program/basa" "$work/program/kavor"
for name in daily base001 base002; do
    head -c 4096 /dev/urandom | base64 > "$work/vdb/$name.vdb"
    (cd "$work/vdb" && zip -q -9 "$work/www/update/${name^^}.ZIP" "$name.vdb")
done
# A larger archive, served at 8 KB/s (nginx's /slow/), so that a download is in progress when
# the first picture is taken.
head -c 40960 /dev/urandom > "$work/vdb/base003.vdb"
(cd "$work/vdb" && zip -q -0 "$work/www/update/BASE003.ZIP" base003.vdb)
{
    echo '<html><body><h1>Kavor database updates</h1>'
    for name in DAILY BASE001 BASE002 KAVOR32; do
        echo "<a HREF=\"http://127.0.0.1:$port/update/$name.ZIP\">$name</a><br>"
    done
    echo "<a HREF=\"http://127.0.0.1:$port/slow/update/BASE003.ZIP\">BASE003</a><br>"
    echo '</body></html>'
} > "$work/www/update/index.html"
sed -e "s/@NGINX_PORT@/$port/g; s/@BACKEND_PORT@/$backend/g; s#@DOCROOT@#$work/www#g" \
    tests/support/nginx.conf > "$work/nginx/nginx.conf"
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf"

cp build/src/app/kavor-updater "$work/program/"
cat > "$work/program/config.ini" <<INI
[MAIN]
updatepath=http://127.0.0.1:$port/update/
kvopath=$work/program/kavor
archpath=$work/program/basa
unpack=1
INI

cat > "$work/shoot.sh" <<'SHOT'
#!/usr/bin/env bash
# Runs inside the virtual X server: $1 = the program, $2 = where the pictures go.
set -euo pipefail
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
"$1" &
program=$!
find_window() { xdotool search --sync --onlyvisible --name "$1" | head -1; }
shoot() { sleep 1; import -frame -window "$1" "$2"; }

main=$(find_window 'Программа обновления')
xdotool windowfocus --sync "$main"
xdotool key ctrl+u
sleep 1
import -frame -window "$main" "$2/progress.png"
sleep 6
shoot "$main" "$2/main-window.png"

xdotool key ctrl+o
shoot "$(find_window 'Настройки')" "$2/options.png"
xdotool key Escape

# The about command has no shortcut: walk the menu bar from the keyboard.
xdotool windowfocus --sync "$main"
xdotool key alt
sleep 0.3
xdotool key Right Right Down Return
shoot "$(find_window 'О программе')" "$2/about.png"
xdotool key Escape

kill "$program" "$wm"
SHOT
chmod +x "$work/shoot.sh"
mkdir -p docs
xvfb-run -a -s "-screen 0 1024x700x24" "$work/shoot.sh" "$work/program/kavor-updater" "$root/docs"
echo "screenshots written to docs/"
