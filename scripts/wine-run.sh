#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's private prefix.
#   wine-run.sh [--win32|--win64] PROGRAM [ARGS...]   run it (CTest's cross-compiling emulator);
#                                                     its output ends when it ends
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
  # Start the prefix's server, and the system processes Wine starts with it (services.exe,
  # explorer.exe, ...), here with no output attached: the program that starts them hands them its
  # standard error, and CTest would wait for that test's output until the prefix is idle. The
  # server stays up to 10 minutes after its last program, or until --stop.
  wineserver -p600 </dev/null >/dev/null 2>&1
  "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1
  echo "Wine prefix ready: $WINEPREFIX"
  ;;
--stop)
  wineserver -k 2>/dev/null || true
  echo "stopped wineserver of $WINEPREFIX"
  ;;
*)
  if [ -t 1 ] || [ -t 2 ]; then
    exec "$wine" "$@"
  fi
  # Every process Wine starts for the program (explorer.exe for its first window, a server, a
  # service) keeps the program's standard error, and may outlive it while other programs use
  # the prefix; whoever waits for the end of that output (CTest) would wait for them. So the
  # program writes to unnamed files, and a relay copies each out until the program has ended.
  out=$(mktemp "$state/stdout.XXXXXX") && err=$(mktemp "$state/stderr.XXXXXX") || exit 1
  exec 3<"$out" 4<"$err" 5>>"$out" 6>>"$err"
  rm -f "$out" "$err"
  "$wine" "$@" <&0 >&5 2>&6 3<&- 4<&- 5>&- 6>&- &
  program=$!
  exec 5>&- 6>&-
  for signal in HUP INT TERM; do
    trap 'kill -'$signal' $program 2>/dev/null' $signal
  done
  tail -c +1 -s 0.1 -f --pid=$program <&3 3<&- 4<&- &
  tail -c +1 -s 0.1 -f --pid=$program <&4 >&2 3<&- 4<&- &
  # A signal ends the wait early; the program's own end ends the loop.
  while :; do
    wait "$program"
    status=$?
    kill -0 "$program" 2>/dev/null || break
  done
  wait
  exit "$status"
  ;;
esac
