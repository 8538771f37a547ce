#!/usr/bin/env bash
# Sets up the machine, builds both presets and runs every test:
# the Windows build under 32-bit Wine, the portable core natively with ASan and UBSan.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

status=0
run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null || return 1
  cmake --build --preset "$preset" || return 1
  echo "=== $preset: tests"
  ctest --preset "$preset"
}

summary=""
for preset in native win32; do
  out=$(mktemp)
  run_preset "$preset" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  [ "$rc" -eq 0 ] || status=1
  [ "$rc" -eq 0 ] || echo "=== $preset: FAILED (exit $rc)"
  summary+="$(grep -E 'tests passed|tests failed' "$out" | tail -1)"$'\n'
  rm -f "$out"
done

echo "=== summary (native, then win32 under Wine)"
printf '%s' "$summary"
exit $status
