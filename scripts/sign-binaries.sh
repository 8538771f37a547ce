#!/usr/bin/env bash
# sign-binaries.sh CERT KEY FILE...
# Signs Windows programs, DLLs and installers in place with Authenticode (SHA-256) through
# osslsigncode. CERT is the code-signing certificate (PEM or DER; a PEM file may hold its
# chain too), KEY its private key. With PELKO_SIGN_TIMESTAMP_URL set, each signature is also
# time-stamped by that RFC 3161 server, so that it stays valid after the certificate expires.
# Signs nothing when a file is missing, and says which. A file whose signing fails keeps its
# bytes; the files before it stay signed. Exit codes: 0 all signed, 1 not, 2 usage.
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
if [ $missing -ne 0 ]; then
  echo "sign-binaries.sh: nothing signed" >&2
  exit 1
fi
if ! command -v osslsigncode >/dev/null; then
  echo "sign-binaries.sh: osslsigncode is missing: run scripts/setup.sh" >&2
  exit 1
fi

timestamp=()
if [ -n "${PELKO_SIGN_TIMESTAMP_URL:-}" ]; then
  timestamp=(-ts "$PELKO_SIGN_TIMESTAMP_URL")
fi

for file in "$@"; do
  # Written beside the file and moved over it whole once signed.
  signed="$file.signing"
  rm -f "$signed"
  if ! output=$(osslsigncode sign -certs "$cert" -key "$key" -h sha256 "${timestamp[@]}" \
    -in "$file" -out "$signed" 2>&1); then
    rm -f "$signed"
    echo "sign-binaries.sh: $file not signed:" >&2
    echo "$output" >&2
    exit 1
  fi
  chmod --reference="$file" "$signed" && mv -f "$signed" "$file" || {
    rm -f "$signed"
    echo "sign-binaries.sh: $file not replaced" >&2
    exit 1
  }
  echo "signed $file"
done
