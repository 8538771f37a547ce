#!/usr/bin/env bash
# check-exports.sh OBJDUMP DEF BINARY
# Fails unless the binary exports by name exactly the names listed under EXPORTS in the .def
# file, undecorated (no leading "_", no "@n" suffix), as host programs look them up.
set -u
objdump=$1
def=$2
binary=$3
expected=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d' | awk 'NF { print $1 }' | sort)
actual=$("$objdump" -p "$binary" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
echo "$binary exports: $(echo $actual)"
if [ -z "$expected" ] || [ "$expected" != "$actual" ]; then
  echo "$binary: expected exactly: $(echo $expected)"
  exit 1
fi
