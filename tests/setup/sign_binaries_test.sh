#!/usr/bin/env bash
# sign_binaries_test.sh SIGN-SCRIPT DLL HOST MSI OBJCOPY SCRATCH
# Signs with a throwaway code-signing certificate and checks each signature with osslsigncode
# verify (trusting that certificate alone). The build's files come from a test build, which the
# script refuses, naming each; copies without what marks them (the version resource, the
# installer's property) stand in for a product's. Also: a missing file signs nothing and is
# named; a time-stamp server that cannot be reached fails the signing in one line and leaves
# the file as it was; a key under a passphrase signs with the passphrase from a file or a
# variable, and not with a wrong one.
set -euo pipefail
sign=$(realpath "$1") dll=$(realpath "$2") host=$(realpath "$3") msi=$(realpath "$4") objcopy=$5
scratch=$6
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"
make_cert() {
  openssl req -x509 -newkey rsa:2048 -keyout "$1.key" -out "$1.pem" -days 2 \
    -subj "/CN=$1" -addext "extendedKeyUsage=codeSigning" \
    -addext "keyUsage=critical,digitalSignature" "${@:2}" 2>/dev/null
}
make_cert signer -nodes
make_cert stranger -nodes
make_cert locked -passout pass:open-sesame
signed() { osslsigncode verify -CAfile "$2" -in "$1" >/dev/null 2>&1; }

# The test build's files are refused, each named, and nothing is signed.
test_files=(PelkoWebLoader.dll PelkoWebHost.exe "$(basename "$msi")")
cp "$dll" "$host" "$msi" .
if output=$("$sign" signer.pem signer.key "${test_files[@]}" 2>&1); then
  fail "signed the files of a test build"
fi
for f in "${test_files[@]}"; do
  grep -q "$f comes from a test build (Test build" <<<"$output" || fail "$f is not named: $output"
  ! signed "$f" signer.pem || fail "$f of a test build was signed"
done

# Product stand-ins: the binaries without their resources, the installer without the property.
mkdir product
files=(product/PelkoWebLoader.dll product/PelkoWebHost.exe product/PelkoWebSetup.msi)
"$objcopy" --remove-section=.rsrc "$dll" product/PelkoWebLoader.dll
"$objcopy" --remove-section=.rsrc "$host" product/PelkoWebHost.exe
cp "$msi" product/PelkoWebSetup.msi
msibuild product/PelkoWebSetup.msi -q "DELETE FROM \`Property\` WHERE \`Property\` = 'PelkoSpecialBuild'"

# A missing file: nothing is signed, and the message names it.
if output=$("$sign" signer.pem signer.key "${files[@]}" absent.exe 2>&1); then
  fail "signed although absent.exe is missing"
fi
grep -q "absent.exe" <<<"$output" || fail "the refusal does not name absent.exe: $output"
for f in "${files[@]}"; do
  ! signed "$f" signer.pem || fail "$f was signed"
done

# A time-stamp server that does not answer: the file keeps its bytes, no temporary is left, and
# the message is one line: the script's, with the tool's error.
before=$(sha256sum product/PelkoWebHost.exe)
if output=$(PELKO_SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ "$sign" signer.pem signer.key \
  product/PelkoWebHost.exe 2>&1); then
  fail "signed although the time-stamp server did not answer"
fi
[ "$(wc -l <<<"$output")" -eq 1 ] && grep -q "^sign-binaries.sh: .*not signed: .*127.0.0.1:9" <<<"$output" ||
  fail "the failure is not one line naming the server: $output"
[ "$(sha256sum product/PelkoWebHost.exe)" = "$before" ] || fail "a failed signing changed the file"
[ -z "$(find . -name '*.signing*')" ] || fail "a failed signing left a temporary file"

# A key under a passphrase: a wrong one signs nothing, the right one from a file or a variable
# signs.
printf 'open-sesame' >passphrase
cp product/PelkoWebHost.exe locked-file.exe
cp product/PelkoWebHost.exe locked-variable.exe
if output=$(PELKO_SIGN_PASSPHRASE=wrong "$sign" locked.pem locked.key locked-variable.exe 2>&1); then
  fail "signed with a wrong passphrase"
fi
[ "$(wc -l <<<"$output")" -eq 1 ] || fail "a wrong passphrase says more than one line: $output"
PELKO_SIGN_PASSPHRASE_FILE=passphrase "$sign" locked.pem locked.key locked-file.exe >/dev/null ||
  fail "the passphrase file did not open the key"
PELKO_SIGN_PASSPHRASE=open-sesame "$sign" locked.pem locked.key locked-variable.exe product/PelkoWebSetup.msi \
  >/dev/null || fail "the passphrase variable did not open the key for two files"
for f in locked-file.exe locked-variable.exe; do
  signed "$f" locked.pem || fail "$f is not signed with the locked key"
done
cp "$msi" product/PelkoWebSetup.msi
msibuild product/PelkoWebSetup.msi -q "DELETE FROM \`Property\` WHERE \`Property\` = 'PelkoSpecialBuild'"

"$sign" signer.pem signer.key "${files[@]}" || fail "signing failed"
for f in "${files[@]}"; do
  output=$(osslsigncode verify -CAfile signer.pem -in "$f" 2>&1) || fail "$f: $output"
  grep -q "Message digest algorithm *: SHA256" <<<"$output" || fail "$f is not signed with SHA-256"
  ! signed "$f" stranger.pem || fail "$f verifies against a certificate that did not sign it"
done
cd /
rm -rf "$scratch"
[ $failed -eq 0 ] && echo "what a product ships is signed and verifies; a test build's files are refused"
exit $failed
