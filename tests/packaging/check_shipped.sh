#!/usr/bin/env bash
# check_shipped.sh OBJDUMP WINDRES BIN-DIR MSI SYMBOLS-ARCHIVE DLL-BOUND MSI-BOUND VERSION
#                  PUBLISHER SPECIAL-BUILD
# What ships: the DLL and the host stripped, each with its .debug file beside it, which a
# debugger finds through the file's debug link (the functions are there, and only there); the
# DLL and the installer within their bounds in bytes; the symbols archive holding both .debug
# files; the version resources naming the version and the company, and a test build saying so
# (SPECIAL-BUILD, empty for a product).
set -euo pipefail
objdump=$1 windres=$2 bin=$3 msi=$4 archive=$5 dll_bound=$6 msi_bound=$7 version=$8
publisher=$9 special=${10}
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

# file function: the debugging information of file holds the function.
# Without debugging information objdump fails, which counts as none.
functions() {
  { "$objdump" "$2" --dwarf=info "$1" 2>/dev/null || true; } |
    sed -n 's/.*DW_AT_name *: \((indirect[^)]*): \)\{0,1\}//p'
}
check_pair() {
  local file=$bin/$1 function=$2
  [ -f "$file.debug" ] || { fail "no $1.debug beside $1"; return; }
  local sections
  sections=$("$objdump" -h "$file")
  grep -qE ' \.debug_' <<<"$sections" && fail "$1 carries debugging sections"
  grep -q '\.gnu_debuglink' <<<"$sections" || fail "$1 has no debug link"
  local linked own
  linked=$(functions "$file" --dwarf=follow-links)
  own=$(functions "$file" --dwarf=no-follow-links)
  grep -qx "$function" <<<"$linked" || fail "the debug link of $1 does not lead to $function"
  grep -qx "$function" <<<"$own" && fail "$1 itself describes $function"
  { "$objdump" -t "$file" 2>/dev/null || true; } | grep -qF "$function" &&
    fail "$1 keeps its symbol table"
  echo "$1: $(stat -c %s "$file") bytes, $(stat -c %s "$file.debug") bytes of symbols"
}
check_pair PelkoWebLoader.dll CreatePelkoWebDLLObject
check_pair PelkoWebHost.exe wmain

size() { stat -c %s "$1"; }
[ "$(size "$bin/PelkoWebLoader.dll")" -le "$dll_bound" ] ||
  fail "PelkoWebLoader.dll has $(size "$bin/PelkoWebLoader.dll") bytes, more than $dll_bound"
[ "$(size "$msi")" -le "$msi_bound" ] || fail "$(basename "$msi") has $(size "$msi") bytes, more than $msi_bound"
echo "$(basename "$msi"): $(size "$msi") bytes"

listed=$(cmake -E tar tf "$archive" | sort | tr '\n' ' ')
[ "$listed" = "PelkoWebHost.exe.debug PelkoWebLoader.dll.debug " ] ||
  fail "$(basename "$archive") holds: $listed"
for f in PelkoWebHost.exe PelkoWebLoader.dll; do
  rc=$("$windres" -i "$bin/$f" -O rc)
  value() { sed -n "s/^ *VALUE \"$1\", \"\\(.*\\)\"\$/\\1/p" <<<"$rc"; }
  [ "$(value CompanyName)" = "$publisher" ] || fail "$f names the company '$(value CompanyName)'"
  [ "$(value FileVersion)" = "$version" ] || fail "$f has the version '$(value FileVersion)'"
  [ "$(value ProductVersion)" = "$version" ] || fail "$f has the product version '$(value ProductVersion)'"
  [ "$(value SpecialBuild)" = "$special" ] || fail "$f says SpecialBuild '$(value SpecialBuild)'"
  flags=$(sed -n 's/^ *FILEFLAGS \(.*\)$/\1/p' <<<"$rc")
  if [ -n "$special" ]; then
    [ $((${flags:-0} & 0x20)) -ne 0 ] || fail "$f has no special-build flag ($flags)"
  else
    [ $((${flags:-0} & 0x20)) -eq 0 ] || fail "$f has the special-build flag"
  fi
done
[ $failed -eq 0 ] && echo "the shipped files are stripped, their symbols beside them, their versions named"
exit $failed
