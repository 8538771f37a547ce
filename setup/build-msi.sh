#!/usr/bin/env bash
# build-msi.sh OUTPUT WXS BIN-DIR VERSION FILE-VERSION WIXL-ARGS...
# Builds the installer of PelkoWebHost.exe and PelkoWebLoader.dll of BIN-DIR with wixl, the
# same bytes from the same files but for the two times of its summary information (created,
# last saved), which wixl sets to the clock: the files are staged with one fixed time (the
# cabinet keeps file times), the package code is derived from what the package holds (wixl
# makes a random one), and the file table gets each binary's version, FILE-VERSION (wixl leaves
# it empty), so that Windows Installer replaces versioned files by version. The file appears
# whole or not at all.
set -euo pipefail
output=$1 wxs=$2 bin=$3 version=$4 file_version=$5
shift 5
files=(PelkoWebHost.exe PelkoWebLoader.dll)
stage=$output.files
part=$output.part
trap 'rm -rf "$stage" "$part"' EXIT
rm -rf "$stage" "$part"
mkdir -p "$stage"
for f in "${files[@]}"; do
  cp "$bin/$f" "$stage/$f"
  touch -d '2000-01-01 00:00:00 UTC' "$stage/$f"
done
# wixl takes a file's source relative to the folder of the .wxs file only.
bin_dir=$(realpath --relative-to="$(dirname "$wxs")" "$stage")
wixl "$@" -D Version="$version" -D BinDir="$bin_dir" -o "$part" "$wxs"

hash=$( (cd "$stage" && sha256sum "${files[@]}"; echo "$version"; cat "$wxs") | sha256sum)
hash=${hash^^}
package_code="{${hash:0:8}-${hash:8:4}-${hash:12:4}-${hash:16:4}-${hash:20:12}}"
summary=$(msiinfo suminfo "$part")
field() { sed -n "s/^$1: //p" <<<"$summary"; }
msibuild "$part" -s "$(field Subject)" "$(field Author)" "$(field Template)" "$package_code"
for f in "${files[@]}"; do
  msibuild "$part" -q "UPDATE \`File\` SET \`Version\` = '$file_version' WHERE \`File\` = '$f'"
done
mv -f "$part" "$output"
