#!/usr/bin/env bash
# A Wine program's output must close when the program ends, even while another program keeps
# the prefix in use: CTest waits for a test's output to close. The program that starts a
# prefix's server hands its standard error to that server and to the system processes started
# with it (services.exe, explorer.exe, ...), which live while any program uses the prefix.
# Usage: output_closes.sh <wine-run.sh> --win32|--win64   (PELKO_TEST_STATE set, display ready)
set -u
runner=$1
arch=$2
work=$(mktemp -d)
a_pid='' b_pid=''
cleanup() {
  exec 3>&- 4>&-
  for pid in $a_pid $b_pid; do kill "$pid" 2>/dev/null; done
  wait
  rm -rf "$work"
}
trap cleanup EXIT
mkfifo "$work/a_in" "$work/b_in"

# Waits (at most 60 s) until FILE holds TEXT.
wait_for() {
  for _ in $(seq 600); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: no '$2' in $1" >&2
  return 1
}

# The first program: cmd.exe, alive until its input closes; its output goes through a pipe.
(timeout 120 "$runner" "$arch" cmd.exe <"$work/a_in" 2>&1 | cat >"$work/a_out"
 echo closed >"$work/a_closed") &
a_pid=$!
exec 3>"$work/a_in"
echo "echo first-ready" >&3
wait_for "$work/a_out" first-ready || exit 1

# A second program keeps the prefix in use, as another test does in a parallel run.
timeout 120 "$runner" "$arch" cmd.exe <"$work/b_in" >"$work/b_out" 2>&1 3>&- &
b_pid=$!
exec 4>"$work/b_in"
echo "echo second-ready" >&4
wait_for "$work/b_out" second-ready || exit 1

exec 3>&-  # the first program ends
if ! wait_for "$work/a_closed" closed; then
  echo "FAIL: the first program's output is still open while the second one runs" >&2
  exit 1
fi
kill -0 "$b_pid" 2>/dev/null || { echo "FAIL: the second program ended too early" >&2; exit 1; }
echo "ok: output closed while another program kept the prefix in use"
