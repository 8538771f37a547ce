#!/usr/bin/env bash
# check_msi.sh MSI BIN-DIR VERSION PRODUCT-NAME PUBLISHER SCRATCH FILE-VERSION UPGRADE-CODE
#              SPECIAL-BUILD
# Reads the installer's tables: product name, publisher and version; installed per user
# (no ALLUSERS, no elevation asked for) into %LOCALAPPDATA%\Programs\PelkoWeb; a major upgrade
# of every lower version of the upgrade family; exactly the host and DLL of BIN-DIR, byte for
# byte, each with its version in the file table; a test build's text (SPECIAL-BUILD, empty for
# a product) in the property PelkoSpecialBuild.
set -euo pipefail
msi=$(realpath "$1") bin=$2 version=$3 name=$4 publisher=$5 scratch=$6 file_version=$7
upgrade_code=$8 special=$9
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
property() { table Property | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }

[ "$(property ProductName)" = "$name" ] || fail "ProductName is '$(property ProductName)'"
[ "$(property Manufacturer)" = "$publisher" ] || fail "Manufacturer is '$(property Manufacturer)'"
[ "$(property ProductVersion)" = "$version" ] || fail "ProductVersion is '$(property ProductVersion)'"
[ "$(property UpgradeCode)" = "$upgrade_code" ] || fail "UpgradeCode is '$(property UpgradeCode)'"
[ "$(property PelkoSpecialBuild)" = "$special" ] ||
  fail "PelkoSpecialBuild is '$(property PelkoSpecialBuild)', not '$special'"
[ -z "$(property ALLUSERS)" ] || fail "ALLUSERS is set: a machine-wide install"
# Word count 8: elevated privileges are not required.
source=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
[ $((source & 8)) -eq 8 ] || fail "the package asks for elevation (word count $source)"

# INSTALLDIR is LocalAppDataFolder\Programs\PelkoWeb.
dirs=$(table Directory)
parent_of() { awk -F'\t' -v d="$1" '$1 == d { print $2 "\t" $3 }' <<<"$dirs"; }
[ "$(parent_of INSTALLDIR)" = "$(printf 'UserProgramsFolder\tPelkoWeb')" ] ||
  fail "INSTALLDIR is '$(parent_of INSTALLDIR)'"
[ "$(parent_of UserProgramsFolder)" = "$(printf 'LocalAppDataFolder\tPrograms')" ] ||
  fail "the programs folder is '$(parent_of UserProgramsFolder)'"

# Every lower version is found and removed before the install.
table Upgrade | awk -F'\t' -v v="$version" '$2 == "" && $3 == v && $7 == "WIX_UPGRADE_DETECTED"' |
  grep -q . || fail "no major upgrade of lower versions"
table InstallExecuteSequence | grep -q '^RemoveExistingProducts' ||
  fail "RemoveExistingProducts is not scheduled"

# The files are the build's.
rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$scratch" && msiextract "$msi" >/dev/null)
files=$(cd "$scratch" && find . -type f -printf '%f\n' | sort | tr '\n' ' ')
[ "$files" = "PelkoWebHost.exe PelkoWebLoader.dll " ] || fail "the package holds: $files"
for f in PelkoWebHost.exe PelkoWebLoader.dll; do
  found=$(find "$scratch" -type f -name "$f" | head -1)
  [ -n "$found" ] && cmp -s "$found" "$bin/$f" || fail "$f differs from the build's"
  table File | awk -F'\t' -v f="$f" -v v="$file_version" '$1 == f && $5 == v' | grep -q . ||
    fail "the file table gives $f no version $file_version"
done
rm -rf "$scratch"
[ $failed -eq 0 ] && echo "the installer holds the build's files, per user, version $version"
exit $failed
