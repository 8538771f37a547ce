#!/usr/bin/env bash
# check-imports.sh OBJDUMP BINARY...
# Fails unless each binary is a 32-bit PE whose imports are Windows system DLLs only.
set -u
objdump=$1
shift
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|uuid|wininet|crypt32|bcrypt|comctl32|comdlg32|version|msvcrt|ws2_32|urlmon|ntdll)\.dll$'
status=0
for binary in "$@"; do
  if ! "$objdump" -f "$binary" | grep -q 'file format pei-i386'; then
    echo "$binary: not a PE32 (i386) image"
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
