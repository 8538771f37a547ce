#!/usr/bin/env bash
# A Wine program's output must close when the program ends, even while another program keeps
# the prefix in use: CTest waits for a test's output to close. Every process Wine starts for a
# program keeps the program's standard error: the prefix's server and system processes when the
# program is the first one, explorer.exe for the prefix's desktop when it opens the first
# window. They live while any program uses the prefix.
# Usage: output_closes.sh <wine-run.sh> --win32|--win64 MAIN_STATE OWN_STATE
# MAIN_STATE holds the display; the programs run in a prefix of their own below OWN_STATE, so
# that no other test has its server or desktop running.
set -u
runner=$1
arch=$2
main_state=$3
export PELKO_TEST_STATE=$4
if [ -z "${DISPLAY:-}" ] && [ -s "$main_state/display" ]; then
  DISPLAY=$(cat "$main_state/display")
  export DISPLAY
fi
work=$(mktemp -d)
a_pid='' b_pid=''
cleanup() {
  exec 3>&- 4>&-
  for pid in $a_pid $b_pid; do kill "$pid" 2>/dev/null; done
  wait
  "$runner" "$arch" --stop >/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
"$runner" "$arch" --init >/dev/null || exit 1
# The first program starts the server and the desktop itself.
"$runner" "$arch" --stop >/dev/null
mkfifo "$work/a_in" "$work/b_in"

# Waits (at most 180 s: a program's first start in a new prefix on a loaded machine can take
# a minute) until FILE holds TEXT.
wait_for() {
  for _ in $(seq 1800); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: no '$2' in $1" >&2
  return 1
}

# The first program: cmd.exe, alive until its input closes; its output goes through a pipe.
(timeout 400 "$runner" "$arch" cmd.exe <"$work/a_in" 2>&1 | cat >"$work/a_out"
 echo closed >"$work/a_closed") &
a_pid=$!
exec 3>"$work/a_in"
echo "echo first-ready" >&3
wait_for "$work/a_out" first-ready || exit 1

# A second program keeps the prefix in use, as another test does in a parallel run.
timeout 400 "$runner" "$arch" cmd.exe <"$work/b_in" >"$work/b_out" 2>&1 3>&- &
b_pid=$!
exec 4>"$work/b_in"
echo "echo second-ready" >&4
wait_for "$work/b_out" second-ready || exit 1

# The first program opens a window (rundll32 makes one for the function it calls), then ends.
# One line: cmd.exe reading a pipe takes one line of what it reads at a time.
echo "start /wait rundll32.exe user32.dll,LockWorkStation & echo first-done" >&3
exec 3>&-
if ! wait_for "$work/a_closed" closed; then
  echo "FAIL: the first program's output is still open while the second one runs" >&2
  exit 1
fi
grep -q first-done "$work/a_out" || { echo "FAIL: the first program's output is cut short" >&2; exit 1; }
kill -0 "$b_pid" 2>/dev/null || { echo "FAIL: the second program ended too early" >&2; exit 1; }
echo "ok: output closed while another program kept the prefix in use"
