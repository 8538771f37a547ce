#!/usr/bin/env bash
# check_resource_inputs.sh NINJA BUILD-DIR OBJECT...
# The resource compiler names no headers to the build: a resource script of the objects that
# includes the generated version header must have it among its inputs, or a build folder keeps
# the old version resources when PELKO_PRODUCT_VERSION is raised.
set -euo pipefail
ninja=$1
build=$2
shift 2

checked=0
for object in "$@"; do
  [[ $object == *.rc.res || $object == *.rc.obj ]] || continue
  node=${object#"$build"/}
  inputs=$("$ninja" -C "$build" -t query "$node")
  # The first input after the rule is the resource script itself.
  script=$(sed -n '3p' <<<"$inputs" | tr -d ' ')
  grep -q 'resources/ProductVersion\.h' "$script" || continue
  checked=$((checked + 1))
  grep -q 'generated/resources/ProductVersion\.h$' <<<"$inputs" || {
    echo "$script includes ProductVersion.h, which its build does not depend on" >&2
    exit 1
  }
done
[ $checked -gt 0 ] || { echo "no resource script includes ProductVersion.h" >&2; exit 1; }
echo "$checked resource scripts are built again when the version changes"
