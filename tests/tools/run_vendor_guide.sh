#!/usr/bin/env bash
# run_vendor_guide.sh SOURCE-DIR BUILD-DIR GUIDE SCRATCH
# Runs the blocks of the vendor guide fenced as "sh guide" in their order, as written, from the
# source folder, with HOME in SCRATCH and a sample release in its place. Before a block fenced as
# "sh guide update" one release file changes; afterwards only that file's package may differ.
# The guide names the native preset's folder build/native; the commands run against BUILD-DIR,
# the build this test belongs to, wherever it was configured.
set -euo pipefail
source_dir=$1
build_dir=$(cd "$2" && pwd)
guide=$3
scratch=$4

rm -rf "$scratch"
mkdir -p "$scratch/home"
export HOME=$scratch/home
work=$HOME/pelko-vendor

# The sample release the guide describes, with fixed times.
mkdir -p "$work/release/bin" "$work/release/data"
for name in PelkoDeskLoader.exe PelkoLoader.exe PelkoAgentLoader.exe bin/Pelko.Core.dll \
  data/settings.dat; do
  echo "sample $name" >"$work/release/$name"
  touch -d '2024-03-01 10:00:04 UTC' "$work/release/$name"
done

# The guide's blocks, in order, as one script: "cd" and "export" carry from block to block.
script=$scratch/guide.sh
{
  echo 'set -euo pipefail'
  echo 'change_release() {'
  echo '  (cd "$HOME/pelko-vendor/www/CvUpdate/PelkoPatch/RudovuZado" && sha256sum *.zip) >"$HOME/before.sum"'
  echo '  echo "sample settings, second edition" >"$HOME/pelko-vendor/release/data/settings.dat"'
  echo '  touch -d "2024-03-02 09:00:00 UTC" "$HOME/pelko-vendor/release/data/settings.dat"'
  echo '}'
  awk -v build="$build_dir" '
    /^```sh guide update$/ { print "change_release"; inside = 1; blocks++; next }
    /^```sh guide$/ { inside = 1; blocks++; next }
    /^```/ && inside { inside = 0; next }
    inside { gsub(/(\$PWD\/)?build\/native\//, build "/"); print }
    END { if (blocks == 0) exit 1 }
  ' "$guide"
} >"$script"

cd "$source_dir"
bash "$script"

tree=$work/www/CvUpdate/PelkoPatch
[ -f "$tree/RudovuZado.ini.zip" ] || { echo "no manifest package in $tree" >&2; exit 1; }
for name in PelkoDeskLoader.exe PelkoLoader.exe PelkoAgentLoader.exe Pelko.Core.dll settings.dat; do
  [ -f "$tree/RudovuZado/$name.zip" ] || { echo "no package for $name" >&2; exit 1; }
done
if [ -f "$HOME/before.sum" ]; then
  changed=$(cd "$tree/RudovuZado" && sha256sum --quiet -c "$HOME/before.sum" 2>/dev/null |
    sed -n 's/: FAILED$//p' || true)
  [ "$changed" = "settings.dat.zip" ] ||
    { echo "after the update, changed packages: '${changed}' (expected settings.dat.zip)" >&2; exit 1; }
fi
echo "the guide's publishing commands ran as written"
