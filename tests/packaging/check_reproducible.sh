#!/usr/bin/env bash
# check_reproducible.sh SOURCE-DIR CACHE-SCRIPT BIN-DIR SCRATCH
# Builds the DLL and the host a second time from the same sources with the build's own
# settings (CACHE-SCRIPT), in another folder and without the compiler cache, and compares them
# and their .debug files with the build's, byte for byte. The compiler cache stays off: it
# would hand back the objects of the first build and hide whatever a compile takes from its
# folder or its time.
set -euo pipefail
source_dir=$1 cache_script=$2 bin=$3 scratch=$4
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

rm -rf "$scratch"
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
export CCACHE_DISABLE=1
cmake -S "$source_dir" -B "$scratch/elsewhere" -G Ninja -C "$cache_script" -DPELKO_CCACHE=OFF \
  >"$scratch/configure.log" 2>&1 || { cat "$scratch/configure.log" >&2; exit 1; }
cmake --build "$scratch/elsewhere" -j 2 --target PelkoWebLoader PelkoWebHost >"$scratch/build.log" 2>&1 ||
  { tail -30 "$scratch/build.log" >&2; exit 1; }
for f in PelkoWebLoader.dll PelkoWebHost.exe; do
  for g in "$f" "$f.debug"; do
    cmp -s "$bin/$g" "$scratch/elsewhere/bin/$g" ||
      fail "$g differs: $(cmp -l "$bin/$g" "$scratch/elsewhere/bin/$g" | wc -l) bytes"
  done
done
[ $failed -eq 0 ] && echo "a second build in another folder gave the same DLL and host, byte for byte"
exit $failed
