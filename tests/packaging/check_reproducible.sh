#!/usr/bin/env bash
# check_reproducible.sh SOURCE-DIR CACHE-SCRIPT BIN-DIR MSI SCRATCH
# Builds the DLL, the host and the installer a second time from the same sources with the
# build's own settings (CACHE-SCRIPT), in another folder and without the compiler cache, and
# compares the DLL, the host and their .debug files with the build's, byte for byte, and the
# installer but for the two times of its summary information (created, last saved), which wixl
# takes from the clock: at most those 16 bytes differ, and the summary says nothing else. The compiler cache stays off: it
# would hand back the objects of the first build and hide whatever a compile takes from its
# folder or its time.
set -euo pipefail
source_dir=$1 cache_script=$2 bin=$3 msi=$(basename "$4") scratch=$5
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
export CCACHE_DISABLE=1
cmake -S "$source_dir" -B "$scratch/elsewhere" -G Ninja -C "$cache_script" -DPELKO_CCACHE=OFF \
  >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log" >&2; exit 1; }
cmake --build "$scratch/elsewhere" -j 2 --target PelkoWebLoader PelkoWebHost PelkoWebSetup >"$scratch/build.log" 2>&1 ||
  { tail -30 "$scratch/build.log" >&2; exit 1; }
for f in PelkoWebLoader.dll PelkoWebHost.exe; do
  for g in "$f" "$f.debug"; do
    cmp -s "$bin/$g" "$scratch/elsewhere/bin/$g" ||
      fail "$g differs: $(cmp -l "$bin/$g" "$scratch/elsewhere/bin/$g" | wc -l) bytes"
  done
done
other=$scratch/elsewhere/bin/$msi
differing=$(cmp -l "$bin/$msi" "$other" | wc -l || true)
[ "$differing" -le 16 ] || fail "$msi differs in $differing bytes"
summary() { msiinfo suminfo "$1" | grep -v -E '^(Created|Last saved):'; }
[ "$(summary "$bin/$msi")" = "$(summary "$other")" ] || fail "the summaries of $msi differ"
[ $failed -eq 0 ] &&
  echo "a second build in another folder gave the same DLL and host, and the installer but for its times"
exit $failed
