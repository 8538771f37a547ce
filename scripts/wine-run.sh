#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix.
#   wine-run.sh [--win32|--win64] PROGRAM [ARGS...]   run it (CTest's cross-compiling emulator)
#   wine-run.sh [--win32|--win64] --init              create the prefix once, quietly
#   wine-run.sh [--win32|--win64] --stop              stop the prefix's wineserver
# --win32 (the default) runs 32-bit Wine in a 32-bit prefix; --win64 runs the 64-bit loader
# (wine64) in a 64-bit prefix, which needs no 32-bit program at all. The state folder (prefix,
# display) comes from PELKO_TEST_STATE, or from the program's place in the build tree
# (BUILD/bin/x.exe -> BUILD/test-state); each build has its own.
set -u

arch=win32
case "${1:-}" in
--win32 | --win64)
  arch=${1#--}
  shift
  ;;
esac

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
export WINEARCH=$arch
export WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${DISPLAY:-}" ] && [ -s "$state/display" ]; then
  DISPLAY=$(cat "$state/display")
  export DISPLAY
fi
# Debian's "wine" starts 32-bit Wine whenever it is installed, even where it cannot run.
if [ "$arch" = win64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
else
  wine=wine
fi

case "${1:-}" in
--init)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating Wine prefix $WINEPREFIX ($arch)"
    "$wine" wineboot --init >/dev/null 2>&1
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
  exec "$wine" "$@"
  ;;
esac
