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
# EXPECTED-TEXT "ok", succeeds.
configure() {
  local expected=$1 output rc
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

configure "pelko-publish keygen release.pem release.pub" "${domains[@]}"
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
configure "is not a product name" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}"
configure "is not a product name" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" \
  "-DPELKO_PRODUCT=Pelko Desk"
configure "is longer than 64 characters" -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" \
  "-DPELKO_PRODUCT=$(printf 'p%.0s' $(seq 65))"
configure "only a build for the tests may be made so" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_ALLOW_UNSIGNED_UPDATES=ON
configure "only a build for the tests may be made so" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk \
  -DPELKO_UPDATE_KEYS="$vendor_key" -DPELKO_ALLOW_UNSIGNED_UPDATES=ON
configure ok -DPELKO_UPDATE_KEYS="$vendor_key" "${domains[@]}" -DPELKO_PRODUCT=PelkoDesk
grep -q "^PELKO_TESTING:BOOL=OFF" "$scratch/CMakeCache.txt" ||
  { echo "FAILED: the product preset sets PELKO_TESTING" >&2; failed=1; }
rm -rf "$scratch"
[ $failed -eq 0 ] && echo "the product preset refuses what it must and configures a vendor's build"
exit $failed
