#!/usr/bin/env bash
# check-imports.sh OBJDUMP FORMAT BINARY...
# Fails unless each binary is a PE image of the given objdump format (pei-i386 for 32-bit x86,
# pei-x86-64 for x64) whose imports are Windows system DLLs only.
set -u
objdump=$1
format=$2
shift 2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|uuid|wininet|crypt32|bcrypt|comctl32|comdlg32|version|msvcrt|ws2_32|urlmon|ntdll)\.dll$'
status=0
for binary in "$@"; do
  if ! "$objdump" -f "$binary" | grep -q "file format $format\$"; then
    echo "$binary: not a $format image"
    status=1
    continue
  fi
  imports=$("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  echo "$binary imports: $(echo $imports)"
  for dll in $imports; do
    if ! grep -Eq "$allowed" <<<"$dll"; then
      echo "$binary: imports $dll, which is not a Windows system DLL"
      status=1
    fi
  done
done
exit $status
