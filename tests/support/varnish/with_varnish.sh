#!/usr/bin/env bash
# with_varnish.sh STATE GUIDE -- COMMAND [ARGS...]
# Runs COMMAND while Debian's Varnish caches PELKO_NGINX_URL (run it inside with_nginx.sh) on a
# free loopback port, with a working folder and logs of its own in STATE. Its VCL is the block
# of GUIDE fenced as "vcl guide" (the vendor guide's CDN lines), its backend set to nginx's port,
# so the tests cache as the guide says. COMMAND sees:
#   PELKO_VARNISH_URL   http://127.0.0.1:PORT
# Varnish is stopped when COMMAND ends, and in any case after PELKO_VARNISH_SECONDS (default
# 600). Exit code: COMMAND's, or 1 when Varnish cannot be started.
set -euo pipefail
state=$1
guide=$2
[ "$3" = "--" ] || { echo "usage: with_varnish.sh STATE GUIDE -- COMMAND..." >&2; exit 2; }
shift 3

varnishd_bin=$(command -v varnishd || echo /usr/sbin/varnishd)
if [ ! -x "$varnishd_bin" ]; then
  echo "with_varnish: varnishd missing; run scripts/setup.sh" >&2
  exit 1
fi
backend_port=${PELKO_NGINX_URL##*:}
if [ -z "${PELKO_NGINX_URL:-}" ] || [ -z "$backend_port" ]; then
  echo "with_varnish: PELKO_NGINX_URL is not set; run inside with_nginx.sh" >&2
  exit 1
fi
state=$(mkdir -p "$state" && cd "$state" && pwd)
work=$state/varnish
rm -rf "$work"
mkdir -p "$work"
awk '/^```vcl guide$/ { inside = 1; next } /^```/ && inside { inside = 0; next } inside' \
  "$guide" | sed -E "s/(\.host *= *)\"[^\"]*\"/\1\"127.0.0.1\"/; s/(\.port *= *)\"[^\"]*\"/\1\"$backend_port\"/" \
  >"$work/guide.vcl"
if [ ! -s "$work/guide.vcl" ]; then
  echo "with_varnish: no block fenced as vcl guide in $guide" >&2
  exit 1
fi

# free_port, stop_server, listening
. "$(dirname "${BASH_SOURCE[0]}")/../common/loopback_server.sh"

varnish_pid=
stop_varnish() {
  stop_server "$varnish_pid"
  varnish_pid=
}
trap stop_varnish EXIT

# A port another program takes between the choice and Varnish's bind is tried again, a few times.
port=
for _ in 1 2 3 4 5; do
  candidate=$(free_port)
  : >"$work/varnishd.log"
  # -j none: no jail, so it runs as this user and reaches its own folder.
  timeout --signal=TERM "${PELKO_VARNISH_SECONDS:-600}" \
    "$varnishd_bin" -F -j none -n "$work/n" -a "127.0.0.1:$candidate" -f "$work/guide.vcl" \
    -s malloc,64m -T none >"$work/varnishd.log" 2>&1 &
  varnish_pid=$!
  if listening "$varnish_pid" "$candidate" 100; then
    port=$candidate
    break
  fi
  stop_varnish
done
if [ -z "$port" ]; then
  echo "with_varnish: varnishd did not start:" >&2
  cat "$work/varnishd.log" >&2
  exit 1
fi

export PELKO_VARNISH_URL=http://127.0.0.1:$port
set +e
"$@"
code=$?
set -e
stop_varnish
exit $code
