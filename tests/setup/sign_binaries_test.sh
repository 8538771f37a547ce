#!/usr/bin/env bash
# sign_binaries_test.sh SIGN-SCRIPT DLL HOST MSI SCRATCH
# Signs copies of the DLL, the host and the installer with a throwaway code-signing
# certificate and checks each signature with osslsigncode verify (trusting that certificate
# alone). Also: a missing file signs nothing and is named; a time-stamp server that cannot be
# reached fails the signing and leaves the file as it was.
set -euo pipefail
sign=$(realpath "$1") dll=$(realpath "$2") host=$(realpath "$3") msi=$(realpath "$4") scratch=$5
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"
make_cert() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 \
    -subj "/CN=$1" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=critical,digitalSignature" 2>/dev/null
}
make_cert signer
make_cert stranger
files=(PelkoWebLoader.dll PelkoWebHost.exe PelkoWebSetup.msi)
cp "$dll" "$host" "$msi" .

# A missing file: nothing is signed, and the message names it.
if output=$("$sign" signer.pem signer.key "${files[@]}" absent.exe 2>&1); then
  fail "signed although absent.exe is missing"
fi
grep -q "absent.exe" <<<"$output" || fail "the refusal does not name absent.exe: $output"
for f in "${files[@]}"; do
  osslsigncode verify -CAfile signer.pem -in "$f" >/dev/null 2>&1 && fail "$f was signed"
done

# A time-stamp server that does not answer: the file keeps its bytes, no temporary is left.
before=$(sha256sum PelkoWebHost.exe)
if PELKO_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ "$sign" signer.pem signer.key PelkoWebHost.exe \
  >/dev/null 2>&1; then
  fail "signed although the time-stamp server did not answer"
fi
[ "$(sha256sum PelkoWebHost.exe)" = "$before" ] || fail "a failed signing changed the file"
[ -z "$(find . -name '*.signing*')" ] || fail "a failed signing left a temporary file"

"$sign" signer.pem signer.key "${files[@]}" || fail "signing failed"
for f in "${files[@]}"; do
  output=$(osslsigncode verify -CAfile signer.pem -in "$f" 2>&1) || fail "$f: $output"
  grep -q "Message digest algorithm *: SHA256" <<<"$output" || fail "$f is not signed with SHA-256"
  osslsigncode verify -CAfile stranger.pem -in "$f" >/dev/null 2>&1 &&
    fail "$f verifies against a certificate that did not sign it"
done
cd /
rm -rf "$scratch"
[ $failed -eq 0 ] && echo "the DLL, the host and the installer are signed and verify"
exit $failed
