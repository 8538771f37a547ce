#!/usr/bin/env bash
# Sets up the machine, builds the native, win32-test and win64-test presets and runs every test
# this machine can run: the portable core natively with ASan and UBSan, the 64-bit Windows build
# under 64-bit Wine, and the 32-bit Windows build under 32-bit Wine where 32-bit programs run.
# Where they cannot, the 32-bit build is still built and its files checked, and the summary says
# that its tests were not run. The -test presets are the product presets with the test key and
# loopback domains.
#
# PELKO_ASSUME_NO_32BIT=1 makes the run act as on a machine without 32-bit programs
# (scripts/can-run-32bit.sh).
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

if scripts/can-run-32bit.sh; then run32=yes; else run32=no; fi

status=0
summary=""
# run_preset LABEL PRESET [CTEST ARGS...]: configure, build, run the preset's tests (all, or
# those the arguments select) and add its result line, named LABEL, to the summary.
run_preset() {
  local label=$1 preset=$2 out rc
  shift 2
  out=$(mktemp)
  {
    echo "=== $preset: configure and build"
    cmake --preset "$preset" >/dev/null &&
      cmake --build --preset "$preset" &&
      echo "=== $preset: tests $*" &&
      ctest --preset "$preset" "$@"
  } 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -ne 0 ]; then
    status=1
    echo "=== $preset: FAILED (exit $rc)"
  fi
  summary+="$label: $(grep -E 'tests passed|tests failed' "$out" | tail -1)"
  [ "$rc" -eq 0 ] || summary+=" (FAILED, exit $rc)"
  summary+=$'\n'
  rm -f "$out"
}

# Native first: the Windows client tests install trees made by the native publisher.
run_preset native native
run_preset "win64 under 64-bit Wine" win64-test
if [ "$run32" = yes ]; then
  run_preset "win32 under 32-bit Wine" win32-test
else
  # The PE checks read the files, so they run everywhere.
  run_preset "win32 file checks" win32-test -L packaging
  summary+="32-bit programs cannot run on this machine: the win32 tests were built, not run"$'\n'
fi

echo "=== summary"
printf '%s' "$summary"
exit $status
