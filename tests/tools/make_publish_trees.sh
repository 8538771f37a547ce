#!/usr/bin/env bash
# Publishes three releases with the native pelko-publish for the Windows client tests:
#   <out>/release1, <out>/tree1   the first release and its update tree
#   <out>/release2, <out>/tree2   the same release with one file changed, published over tree1
#   <out>/release3, <out>/tree3   release2 and a 4 MiB file, published over tree2
#   <out>/release4, <out>/tree4   release3 with a few bytes of the 4 MiB file changed, published
#                                 over tree3 with deltas from tree3
# All are signed with the given private key.
# Usage: make_publish_trees.sh <pelko-publish> <test DLL> <out> <clients' zone> <signing key>
set -euo pipefail
tool=$1 dll=$2 out=$3 zone=$4 key=$5
if [ ! -x "$tool" ]; then
  echo "make_publish_trees: $tool missing; build the native preset first" >&2
  exit 1
fi
rm -rf "$out"
mkdir -p "$out/release/bin/com" "$out/www"
rel=$out/release

# File times on the clients' wall clock, around a minute's edges and in both seasons.
stamp() { TZ=$zone touch -d "$2" "$rel/$1"; }
printf 'loader'        >"$rel/PelkoDeskLoader.exe"; stamp PelkoDeskLoader.exe "2026-01-15 17:29:59"
printf 'settings'      >"$rel/Pelko.cfg";           stamp Pelko.cfg "2026-01-15 17:30:00"
printf 'read me first' >"$rel/readme.txt";          stamp readme.txt "2026-07-15 17:30:59"
cp "$dll" "$rel/bin/com/RegisterRecorder.dll";      stamp bin/com/RegisterRecorder.dll "2026-07-15 17:29:59"

cat >"$out/publish.ini" <<'INI'
[PelkoDeskLoader.exe]
CheckDate=1
Type=Common
[Pelko.cfg]
CheckDate=1
Type=Common
[readme.txt]
CheckDate=1
Type=Common
[RegisterRecorder.dll]
TargetDir=bin\com
Register=1
CheckDate=1
Type=Common
INI

publish() {
  "$tool" build --clients-tz "$zone" --sign-key "$key" --product PelkoTest \
    --expires-days 365 "$@" "$rel" "$out/publish.ini" \
    "$out/www/PelkoPatch" >/dev/null
}
publish
cp -a "$rel" "$out/release1"
cp -a "$out/www/PelkoPatch" "$out/tree1"

# One file changed within the minute it was published in; another only touched.
printf 'settings, second edition' >"$rel/Pelko.cfg"; stamp Pelko.cfg "2026-01-15 17:30:40"
stamp readme.txt "2026-08-01 09:00:00"
publish
cp -a "$rel" "$out/release2"
cp -a "$out/www/PelkoPatch" "$out/tree2"

# A large file joins: a package long enough to be cut off in the middle and resumed.
mkdir -p "$rel/data"
head -c $((4 << 20)) /dev/urandom >"$rel/data/big.bin"; stamp data/big.bin "2026-08-02 10:00:00"
cat >>"$out/publish.ini" <<'INI'
[big.bin]
TargetDir=data
CheckDate=1
Type=Common
INI
publish
cp -a "$rel" "$out/release3"
cp -a "$out/www/PelkoPatch" "$out/tree3"

# A small fix inside the large file: it arrives as a delta of release3's version.
printf 'fixed' | dd of="$rel/data/big.bin" bs=1 seek=$((1 << 20)) conv=notrunc status=none
stamp data/big.bin "2026-08-03 10:00:00"
publish --delta-from "$out/tree3"
cp -a "$rel" "$out/release4"
cp -a "$out/www/PelkoPatch" "$out/tree4"
