#!/usr/bin/env bash
# For every ordered pair of the PE files in PAIRS, the result of Debian's bspatch and the
# result of our decoder over the same bsdiff delta, rewrapped, must be the same bytes, and
# the new file. Usage: bsdiff_differential.sh REWRAP_TOOL PAIRS WORK
set -euo pipefail
rewrap=$1
pairs=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
files=("$pairs"/*.exe)
[ ${#files[@]} -ge 2 ] || { echo "no PE pairs in $pairs" >&2; exit 1; }
checked=0
for old in "${files[@]}"; do
    for new in "${files[@]}"; do
        [ "$old" != "$new" ] || continue
        name=$(basename "$old" .exe)-$(basename "$new" .exe)
        bsdiff "$old" "$new" "$work/$name.bsdiff"
        bspatch "$old" "$work/$name.reference" "$work/$name.bsdiff"
        "$rewrap" "$old" "$work/$name.bsdiff" "$work/$name.ours"
        cmp "$work/$name.reference" "$work/$name.ours"
        cmp "$new" "$work/$name.ours"
        echo "$name: $(stat -c %s "$work/$name.bsdiff") bytes as BSDIFF40," \
             "$(stat -c %s "$work/$name.ours.pdelta") rewrapped: same result"
        checked=$((checked + 1))
    done
done
echo "$checked pairs agree"
rm -rf "$work"
