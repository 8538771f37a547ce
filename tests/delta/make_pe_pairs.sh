#!/usr/bin/env bash
# Builds real PE pairs from the project's own sources for the delta tests and bench:
#   OUT/base.exe      the delta tool (delta/ and framework/ with a small main), version 1.0.0
#   OUT/fix.exe       the same with a small source change (a constant and an error text)
#   OUT/stamp.exe     the same sources, version stamp 1.0.1
# Usage: make_pe_pairs.sh SOURCE_ROOT OUT
set -euo pipefail
src=$1
out=$2
cxx=${PELKO_PAIR_CXX:-x86_64-w64-mingw32-g++-posix}
windres=${PELKO_PAIR_WINDRES:-x86_64-w64-mingw32-windres}
mkdir -p "$out/obj"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/main.cpp" <<'MAIN'
#include "delta/DeltaFile.h"
int wmain(int argc, wchar_t** argv) {
    return argc == 4 ? static_cast<int>(ApplyDeltaFile(argv[1], argv[2], argv[3])) : 2;
}
MAIN
cat >"$work/version.rc" <<'RC'
#include <winver.h>
VS_VERSION_INFO VERSIONINFO
FILEVERSION 1, 0, PATCH, 0
PRODUCTVERSION 1, 0, PATCH, 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "FileVersion", TEXT
    END
  END
END
RC

compile() {  # source object
    "$cxx" -std=c++20 -O2 -municode -I"$src" -c "$1" -o "$2"
}
objects=()
for file in "$work/main.cpp" "$src"/delta/*.cpp "$src"/framework/*.cpp "$src"/framework/win32/*.cpp; do
    object="$out/obj/$(basename "$(dirname "$file")")_$(basename "$file" .cpp).o"
    compile "$file" "$object"
    objects+=("$object")
done

link() {  # exe patch-level objects...
    local exe=$1 patch=$2
    shift 2
    "$windres" -DPATCH="$patch" -DTEXT="\\\"1.0.$patch\\\"" "$work/version.rc" -O coff \
        -o "$work/version-$patch.o"
    "$cxx" -municode -static -o "$exe" "$@" "$work/version-$patch.o" -lz -lshell32
}
link "$out/base.exe" 0 "${objects[@]}"
link "$out/stamp.exe" 1 "${objects[@]}"

# The small fix: the decoder works in 32 KiB chunks and one error text grows, which moves the
# texts after it.
sed 's/chunkSize = 65536/chunkSize = 32768/' "$src/delta/DeltaDecoder.cpp" >"$work/DeltaDecoder.cpp"
sed 's/"a delta stream ends early"/"a delta stream ends before its raw length"/' \
    "$src/delta/DeltaError.cpp" >"$work/DeltaError.cpp"
grep -q 'chunkSize = 32768' "$work/DeltaDecoder.cpp"
grep -q 'before its raw length' "$work/DeltaError.cpp"
compile "$work/DeltaDecoder.cpp" "$out/obj/fix_DeltaDecoder.o"
compile "$work/DeltaError.cpp" "$out/obj/fix_DeltaError.o"
fixed=()
for object in "${objects[@]}"; do
    case $object in
        */delta_DeltaDecoder.o) object=$out/obj/fix_DeltaDecoder.o ;;
        */delta_DeltaError.o) object=$out/obj/fix_DeltaError.o ;;
    esac
    fixed+=("$object")
done
link "$out/fix.exe" 0 "${fixed[@]}"
ls -l "$out"/*.exe
