#!/usr/bin/env bash
# wine-own-prefix.sh [--win32|--win64] MAIN_STATE OWN_STATE DPI PROGRAM [ARGS...]
# Runs a Windows test program in a Wine prefix of its own (OWN_STATE/wineprefix, made once, of
# the given architecture as in wine-run.sh) on the display of the main test state. DPI (or "-"
# to keep the default) sets the screen's pixels per inch, a setting of the whole prefix. A
# prefix of its own also has its own install folder and internet cache folder, which the update
# engine's tests watch in the main prefix. Stops the own prefix's wineserver at the end.
set -eu
arch=--win32
case "$1" in
--win32 | --win64)
  arch=$1
  shift
  ;;
esac
main_state=$1
own_state=$2
dpi=$3
shift 3
runner=$(cd "$(dirname "$0")" && pwd)/wine-run.sh

if [ -z "${DISPLAY:-}" ] && [ -s "$main_state/display" ]; then
  DISPLAY=$(cat "$main_state/display")
  export DISPLAY
fi
export PELKO_TEST_STATE=$own_state
trap '"$runner" "$arch" --stop >/dev/null' EXIT
"$runner" "$arch" --init >/dev/null
if [ "$dpi" != "-" ]; then
  "$runner" "$arch" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1
fi
"$runner" "$arch" "$@"
