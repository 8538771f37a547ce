#!/usr/bin/env bash
# sign-binaries.sh CERT KEY FILE...
# Signs Windows programs, DLLs and installers in place with Authenticode (SHA-256) through
# osslsigncode. CERT is the code-signing certificate (PEM or DER; a PEM file may hold its
# chain too), KEY its private key. A key protected by a passphrase takes it from the file named
# by PELKO_SIGN_PASSPHRASE_FILE or from the variable PELKO_SIGN_PASSPHRASE, never from the
# command line (where other users of the machine see it). With PELKO_SIGN_TIMESTAMP_URL set,
# each signature is also time-stamped by that RFC 3161 server, so that it stays valid after the
# certificate expires (optional: a trial can do without).
# Signs nothing when a file is missing or was made by a test build (its version resource has
# a SpecialBuild text, or the installer the property PelkoSpecialBuild), and names each such
# file. A file whose signing fails keeps its bytes; the files before it stay signed; the
# message is this script's line with the signing tool's own error. Exit codes: 0 all signed,
# 1 not, 2 usage.
set -uo pipefail

if [ $# -lt 3 ]; then
  echo "usage: $0 CERT KEY FILE..." >&2
  exit 2
fi
cert=$1
key=$2
shift 2

missing=0
for file in "$cert" "$key" "$@"; do
  if [ ! -f "$file" ]; then
    echo "sign-binaries.sh: no file $file" >&2
    missing=1
  fi
done
for tool in osslsigncode msiinfo i686-w64-mingw32-windres x86_64-w64-mingw32-windres; do
  if ! command -v $tool >/dev/null; then
    echo "sign-binaries.sh: $tool is missing: run scripts/setup.sh" >&2
    missing=1
  fi
done
if [ $missing -ne 0 ]; then
  echo "sign-binaries.sh: nothing signed" >&2
  exit 1
fi

# The SpecialBuild text of a test build's file; empty for any other file.
special_build() {
  local magic
  magic=$(head -c 4 "$1" | od -An -tx1 | tr -d ' \n')
  case $magic in
  4d5a*) # a program or DLL: its version resource, read by the resource compiler of its machine
    for windres in i686-w64-mingw32-windres x86_64-w64-mingw32-windres; do
      if rc=$($windres -i "$1" -O rc 2>/dev/null); then
        sed -n 's/^ *VALUE "SpecialBuild", "\(.*\)"$/\1/p' <<<"$rc"
        return
      fi
    done ;;
  d0cf11e0) # an installer
    msiinfo export "$1" Property 2>/dev/null | tr -d '\r' |
      awk -F'\t' '$1 == "PelkoSpecialBuild" { print $2 }' ;;
  esac
}
refused=0
for file in "$@"; do
  text=$(special_build "$file")
  if [ -n "$text" ]; then
    echo "sign-binaries.sh: $file comes from a test build ($text)" >&2
    refused=1
  fi
done
if [ $refused -ne 0 ]; then
  echo "sign-binaries.sh: nothing signed: build the files to ship with a product preset" >&2
  exit 1
fi

options=(-certs "$cert" -key "$key" -h sha256)
if [ -n "${PELKO_SIGN_TIMESTAMP_URL:-}" ]; then
  options+=(-ts "$PELKO_SIGN_TIMESTAMP_URL")
fi
if [ -n "${PELKO_SIGN_PASSPHRASE_FILE:-}" ]; then
  options+=(-readpass "$PELKO_SIGN_PASSPHRASE_FILE")
fi
# osslsigncode reads a passphrase from a file: the variable's goes through a pipe, one per file.
sign() {
  if [ -z "${PELKO_SIGN_PASSPHRASE_FILE:-}" ] && [ -n "${PELKO_SIGN_PASSPHRASE+set}" ]; then
    osslsigncode sign "${options[@]}" -readpass <(printf '%s' "$PELKO_SIGN_PASSPHRASE") "$@"
  else
    osslsigncode sign "${options[@]}" "$@"
  fi
}

# The tool's own error: its first line that is neither progress nor OpenSSL's error queue.
tool_error() {
  grep -v -E '^[0-9A-F]+:error:|^Enter PEM pass phrase:|^Connecting to |^Failed$|^$' <<<"$1" |
    head -1
}

for file in "$@"; do
  # Written beside the file and moved over it whole once signed.
  signed="$file.signing"
  rm -f "$signed"
  if ! output=$(sign -in "$file" -out "$signed" </dev/null 2>&1); then
    rm -f "$signed"
    echo "sign-binaries.sh: $file not signed: $(tool_error "$output")" >&2
    exit 1
  fi
  chmod --reference="$file" "$signed" && mv -f "$signed" "$file" || {
    rm -f "$signed"
    echo "sign-binaries.sh: $file not replaced" >&2
    exit 1
  }
  echo "signed $file"
done
