#!/usr/bin/env bash
# Runs a 32-bit Windows program under Wine in the build's private prefix.
#   wine-run.sh PROGRAM [ARGS...]   run it (CTest's cross-compiling emulator)
#   wine-run.sh --init              create the prefix once, quietly
#   wine-run.sh --stop              stop the prefix's wineserver
# The state folder (prefix, display) comes from PELKO_TEST_STATE, or from the
# program's place in the build tree (BUILD/bin/x.exe -> BUILD/test-state).
set -u

state=${PELKO_TEST_STATE:-}
if [ -z "$state" ]; then
  if [ "${1:-}" != "--init" ] && [ "${1:-}" != "--stop" ] && [ -f "${1:-}" ]; then
    state=$(cd "$(dirname "$1")/.." && pwd)/test-state
  else
    echo "wine-run.sh: PELKO_TEST_STATE is not set" >&2
    exit 2
  fi
fi
mkdir -p "$state"

export WINEPREFIX="$state/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${DISPLAY:-}" ] && [ -s "$state/display" ]; then
  DISPLAY=$(cat "$state/display")
  export DISPLAY
fi

case "${1:-}" in
--init)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating Wine prefix $WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
  [ -f "$WINEPREFIX/system.reg" ] || { echo "Wine prefix was not created" >&2; exit 1; }
  echo "Wine prefix ready: $WINEPREFIX"
  ;;
--stop)
  wineserver -k 2>/dev/null || true
  echo "stopped wineserver of $WINEPREFIX"
  ;;
*)
  exec wine "$@"
  ;;
esac
