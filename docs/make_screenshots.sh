#!/usr/bin/env bash
# Takes the guide's two pictures under Xvfb: the patch window while a package is on its way, and
# the error box of an update that fails (a package the server does not have).
#
#   docs/make_screenshots.sh        (after building the native and win32-test presets)
#   PELKO_SCREENSHOT_PRESET=win64-test docs/make_screenshots.sh   (where 32-bit programs cannot run)
#
# Writes docs/images/patch-window.png and docs/images/update-error.png. Uses its own Wine prefix,
# Xvfb and HTTP server under build/<preset>/screenshot-state and stops all three at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset=${PELKO_SCREENSHOT_PRESET:-win32-test}
bin=$root/build/$preset/bin
state=$root/build/$preset/screenshot-state
export PELKO_TEST_STATE=$state
domain=$(sed -n 's/^PELKO_DOMAIN_1:STRING=//p' "build/$preset/CMakeCache.txt")
wine_run=("$root/scripts/wine-run.sh")
[ "$preset" = win64-test ] && wine_run+=(--win64)
mkdir -p "$state"

http_pid=""
host_pid=""
stop_all() {
  [ -n "$http_pid" ] && kill "$http_pid" 2>/dev/null || true
  "${wine_run[@]}" --stop >/dev/null 2>&1 || true
  [ -n "$host_pid" ] && wait "$host_pid" 2>/dev/null || true
  scripts/xvfb.sh stop "$state" >/dev/null 2>&1 || true
}
trap stop_all EXIT

# Two files, fetched side by side: each answer takes a few seconds to come, and the second
# package is missing.
release=$state/release
tree=$state/www
rm -rf "$release" "$tree"
mkdir -p "$release"
echo "a slow file" >"$release/Slow.txt"
echo "a missing file" >"$release/Missing.txt"
printf '[Slow.txt]\nCheckDate=1\nType=Common\n\n[Missing.txt]\nCheckDate=1\nType=Common\n' \
  >"$state/publish.ini"
build/native/bin/pelko-publish build --clients-tz UTC --sign-key keys/test-only/release-test.pem \
  --product PelkoTest --expires-days 30 \
  "$release" "$state/publish.ini" \
  "$tree/CvUpdate/PelkoPatch" >/dev/null
rm "$tree/CvUpdate/PelkoPatch/RudovuZado/Missing.txt.zip"

rm -f "$state/http.log"
python3 -u scripts/static-server.py "$tree" .txt.zip 3 >>"$state/http.log" 2>&1 &
http_pid=$!
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$state/http.log" 2>/dev/null | head -1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the HTTP server did not start" >&2; exit 1; }

env -u DISPLAY scripts/xvfb.sh start "$state" >/dev/null
export DISPLAY=$(cat "$state/display")
"${wine_run[@]}" --init
# No window manager runs on Xvfb: Wine draws the frames and captions itself.
"${wine_run[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
folder=$state/wineprefix/drive_c/Corvane/Pelko
rm -rf "$folder"
mkdir -p "$folder"
cp "$bin"/PelkoDeskLoader.exe "$folder"/

(cd "$state" && "${wine_run[@]}" "$bin"/PelkoWebHost.exe desk \
  "http://$domain:$port/CvUpdate/Pelko" screenshot-enc) &
host_pid=$!

# The window of the given title once it shows, as "id width height x y".
window() {
  for _ in $(seq 1 100); do
    line=$(xwininfo -root -tree | grep -E "$1" | grep -v '1x1+' | head -1 || true)
    if [ -n "$line" ]; then
      echo "$line" | sed -E 's/^ *(0x[0-9a-f]+) .* ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4 \5/'
      return 0
    fi
    sleep 0.1
  done
  echo "no window $1" >&2
  xwininfo -root -tree >&2
  return 1
}

shot() {  # shot OUTPUT WINDOW-PATTERN
  sleep 1
  read -r id w h x y < <(window "$2")
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$state/raw.png"
  convert "$state/raw.png" -strip -colors 64 "PNG8:$1"
  echo "wrote $1 (${w}x${h})"
}

# The patch window has no title; the box is captioned with the component's name.
shot docs/images/patch-window.png '\(has no name\): \("pelkowebhost.exe"'
sleep 3
shot docs/images/update-error.png '"PelkoWebLoader": \("pelkowebhost.exe"'
