#!/usr/bin/env bash
# check_configure_rules.sh SOURCE-DIR SCRATCH
# Configures the win64 product preset in SCRATCH with a table of deployment values: each
# refusal must name what is wrong; the values of a vendor's build configure.
set -uo pipefail
source_dir=$1
scratch=$2
test_key=$(cat "$source_dir/keys/test-only/release-test.pub")
vendor_key=$(printf '%0128d' 7)
domains=(-DPELKO_DOMAIN_1=pelko.example.com -DPELKO_DOMAIN_2=pelko.example.net
  -DPELKO_DEFAULT_UPDATE_HOST=update.pelko.example.com)
failed=0

# configure EXPECTED-TEXT ARGS...: the configure fails and says EXPECTED-TEXT, or, with
# EXPECTED-TEXT "ok", succeeds; its messages are left in $output.
configure() {
  local expected=$1 rc
  shift
  rm -rf "$scratch"
  output=$(cd "$source_dir" && cmake --preset win64 -B "$scratch" "$@" 2>&1)
  rc=$?
  if [ "$expected" = ok ]; then
    [ $rc -eq 0 ] && return
    echo "FAILED: refused: $*" >&2
  elif [ $rc -eq 0 ]; then
    echo "FAILED: configured, expected a refusal with \"$expected\": $*" >&2
  elif tr -s ' \n' ' ' <<<"$output" | grep -qF -- "$expected"; then
    return
  else
    echo "FAILED: refused without \"$expected\": $*" >&2
  fi
  echo "$output" | grep -A12 "CMake Error" | head -20 >&2
  failed=1
}

configure "build/tools/bin/pelko-publish keygen release.pem release.pub" "${domains[@]}"
configure "This build has no PELKO_DOMAIN_1" -DPELKO_UPDATE_KEYS="$vendor_key"
configure "This build has no PELKO_DEFAULT_UPDATE_HOST" -DPELKO_UPDATE_KEYS="$vendor_key" \
  -DPELKO_DOMAIN_1=pelko.example.com -DPELKO_DOMAIN_2=pelko.example.net
configure "lies in neither allowed domain" -DPELKO_UPDATE_KEYS="$vendor_key" \
  -DPELKO_DOMAIN_1=pelko.example.com -DPELKO_DOMAIN_2=pelko.example.net \
  -DPELKO_DEFAULT_UPDATE_HOST=update.xpelko.example.com
configure "is not a host name" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" \
  '-DPELKO_DOMAIN_2=pelko.example.net";evil'
configure "holds the test key of keys/test-only/" -DPELKO_UPDATE_KEYS="$test_key" "${domains[@]}"
configure "holds the test key of keys/test-only/" "${domains[@]}" \
  -DPELKO_UPDATE_KEYS="$(tr a-f A-F <<<"$test_key")"
configure "holds the test key of keys/test-only/" "${domains[@]}" \
  -DPELKO_UPDATE_KEY_FILES="$source_dir/keys/test-only/release-test.pub"
configure "holds the test key of keys/test-only/" "${domains[@]}" \
  -DPELKO_UPDATE_KEYS="$vendor_key;$test_key"
configure "is not a public key" -DPELKO_UPDATE_KEYS="${vendor_key}0" "${domains[@]}"
configure "there is no file" -DPELKO_UPDATE_KEY_FILES="$scratch-absent.pub" "${domains[@]}"
configure "is not a version major.minor.patch" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_PRODUCT_VERSION=1.2
configure "is not a version major.minor.patch" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_PRODUCT_VERSION=256.0.0
configure "is not a GUID" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_UPGRADE_CODE=D410F4AB-EB10-4B52-B8B3-FF52F44E2488
configure "without \" or" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk '-DPELKO_PUBLISHER=A "B"'
configure "is not a product name" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}"
configure "is not a product name" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" \
  "-DPELKO_PRODUCT=Pelko Desk"
configure "is longer than 64 characters" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" \
  "-DPELKO_PRODUCT=$(printf 'p%.0s' $(seq 65))"
configure "only a build for the tests may be made so" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_ALLOW_UNSIGNED_UPDATES=ON
configure "only a build for the tests may be made so" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_UPDATE_KEYS="$vendor_key" -DPELKO_ALLOW_UNSIGNED_UPDATES=ON
# A build for the tests relaxes the product and expiry rules: the test key only.
configure "takes only the test key of keys/test-only/" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_TESTING=ON -DPELKO_UPDATE_KEYS="$vendor_key"
configure "takes only the test key of keys/test-only/" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_TESTING=ON -DPELKO_UPDATE_KEYS="$test_key;$vendor_key"
configure "it needs PELKO_TESTING=ON" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_TRIAL=ON -DPELKO_UPDATE_KEYS="$vendor_key"
configure ok "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk -DPELKO_TESTING=ON \
  -DPELKO_UPDATE_KEYS="$(tr a-f A-F <<<"$test_key")"
grep -q "kRelaxedReleaseRules = true" "$scratch/generated/verify/UpdateKeyList.h" ||
  { echo "FAILED: a build for the tests takes statements under the full rules" >&2; failed=1; }
configure ok -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk
grep -q "kRelaxedReleaseRules = false" "$scratch/generated/verify/UpdateKeyList.h" ||
  { echo "FAILED: a product build relaxes the release rules" >&2; failed=1; }
grep -q "^PELKO_TESTING:BOOL=OFF" "$scratch/CMakeCache.txt" ||
  { echo "FAILED: the product preset sets PELKO_TESTING" >&2; failed=1; }
grep -q "loopback name" <<<"$output" && { echo "FAILED: a vendor's domains are warned of" >&2; failed=1; }

# Loopback domains configure, with a warning, unless the build is a test build; the trial
# presets are test builds of loopback domains and the vendor's key.
warned() {
  tr -s ' \n' ' ' <<<"$output" | grep -q "$1 is \"$2\", a loopback name" ||
    { echo "FAILED: no warning for $1=$2" >&2; failed=1; }
}
configure ok -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk -DPELKO_DOMAIN_1=127.0.0.1 \
  -DPELKO_DEFAULT_UPDATE_HOST=127.0.0.1
warned PELKO_DOMAIN_1 127.0.0.1
warned PELKO_DEFAULT_UPDATE_HOST 127.0.0.1
configure ok -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk -DPELKO_DOMAIN_2=localhost
warned PELKO_DOMAIN_2 localhost
output=$(cd "$source_dir" && rm -rf "$scratch" && cmake --preset win64-trial -B "$scratch" \
  -DPELKO_PRODUCT=PelkoDesk -DPELKO_UPDATE_KEYS="$vendor_key" 2>&1) || { echo "FAILED: the trial preset: $output" >&2; failed=1; }
grep -q "loopback name" <<<"$output" && { echo "FAILED: the trial preset is warned of" >&2; failed=1; }
grep -q "^PELKO_TESTING:BOOL=ON" "$scratch/CMakeCache.txt" ||
  { echo "FAILED: the trial preset is no test build" >&2; failed=1; }
grep -q "kRelaxedReleaseRules = false" "$scratch/generated/verify/UpdateKeyList.h" ||
  { echo "FAILED: the trial preset relaxes the product and expiry rules" >&2; failed=1; }
rm -rf "$scratch"
[ $failed -eq 0 ] && echo "the product preset refuses what it must and configures a vendor's build"
exit $failed
