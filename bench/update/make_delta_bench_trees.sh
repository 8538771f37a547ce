#!/usr/bin/env bash
# Trees for delta_phase_bench: a release of a 16 MiB file and a DLL, then the same release with
# a small fix in each, published twice: with deltas from the first tree and without.
#   <out>/tree1  the first release;  <out>/tree2delta, <out>/tree2full  the fixed one
# Usage: make_delta_bench_trees.sh <pelko-publish> <a DLL> <out> <signing key>
set -euo pipefail
tool=$1 dll=$2 out=$3 key=$4
rm -rf "$out"
rel=$out/release
mkdir -p "$rel"
head -c $((16 << 20)) /dev/urandom >"$rel/big.bin"
cp "$dll" "$rel/Component.dll"
touch -d "2026-01-15 10:00:00" "$rel/big.bin" "$rel/Component.dll"
printf '[big.bin]\nCheckDate=1\nType=Common\n[Component.dll]\nCheckDate=1\nType=Common\n' \
  >"$out/publish.ini"
publish() {
  local to=$1
  shift
  "$tool" build --sign-key "$key" --product PelkoTest --expires-days 3650 "$@" "$rel" \
    "$out/publish.ini" "$out/www" >/dev/null
  cp -a "$out/www" "$out/$to"
}
publish tree1
printf 'fixed' | dd of="$rel/big.bin" bs=1 seek=$((8 << 20)) conv=notrunc status=none
printf 'fix' | dd of="$rel/Component.dll" bs=1 seek=$(($(stat -c %s "$rel/Component.dll") / 2)) \
  conv=notrunc status=none
touch -d "2026-01-16 10:00:00" "$rel/big.bin" "$rel/Component.dll"
publish tree2delta --delta-from "$out/tree1"
rm -rf "$out/www"
cp -a "$out/tree1" "$out/www"
publish tree2full
