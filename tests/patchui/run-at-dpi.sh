#!/usr/bin/env bash
# run-at-dpi.sh MAIN_STATE OWN_STATE DPI PROGRAM [ARGS...]
# Runs a Windows test program in a Wine prefix of its own (OWN_STATE/wineprefix, made once)
# whose screen is set to DPI pixels per inch, on the display of the main test state. The
# resolution is a setting of the whole prefix, so the other tests' prefix is left alone.
# Stops the own prefix's wineserver at the end.
set -eu
main_state=$1
own_state=$2
dpi=$3
shift 3
runner=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine-run.sh

if [ -z "${DISPLAY:-}" ] && [ -s "$main_state/display" ]; then
  DISPLAY=$(cat "$main_state/display")
  export DISPLAY
fi
export PELKO_TEST_STATE=$own_state
trap '"$runner" --stop >/dev/null' EXIT
"$runner" --init >/dev/null
"$runner" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
"$runner" "$@"
