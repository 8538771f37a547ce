#!/usr/bin/env bash
# with_nginx.sh STATE GUIDE -- COMMAND [ARGS...]
# Runs COMMAND while Debian's nginx serves STATE/www on a free loopback port, with a
# configuration, prefix and logs of its own in STATE. The server block takes the lines of GUIDE
# fenced as "nginx guide" (the vendor guide's cache headers), so the tests serve as the guide
# says. Below /slow/ the same tree is served at 256 KiB/s, so a test can end a program in the
# middle of a package. COMMAND sees:
#   PELKO_NGINX_URL   http://127.0.0.1:PORT
#   PELKO_NGINX_WWW   the folder served
#   PELKO_NGINX_LOG   the access log: one line per answer, tab-separated: request URI, status,
#                     Range, If-None-Match, If-Modified-Since, body bytes sent, Cache-Control sent
# nginx is stopped when COMMAND ends, and in any case after PELKO_NGINX_SECONDS (default 600).
# Exit code: COMMAND's, or 1 when nginx cannot be started.
set -euo pipefail
state=$1
guide=$2
[ "$3" = "--" ] || { echo "usage: with_nginx.sh STATE GUIDE -- COMMAND..." >&2; exit 2; }
shift 3

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
if [ ! -x "$nginx_bin" ]; then
  echo "with_nginx: nginx missing; run scripts/setup.sh" >&2
  exit 1
fi
state=$(mkdir -p "$state" && cd "$state" && pwd)
prefix=$state/nginx
rm -rf "$prefix"
mkdir -p "$prefix/temp" "$state/www"
awk '/^```nginx guide$/ { inside = 1; next } /^```/ && inside { inside = 0; next } inside' \
  "$guide" >"$prefix/guide.conf"
if [ ! -s "$prefix/guide.conf" ]; then
  echo "with_nginx: no block fenced as nginx guide in $guide" >&2
  exit 1
fi

# free_port, stop_server, listening
. "$(dirname "${BASH_SOURCE[0]}")/../common/loopback_server.sh"

write_conf() {
  cat >"$prefix/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $prefix/nginx.pid;
error_log $prefix/error.log warn;
events { worker_connections 64; }
http {
    types { application/zip zip; }
    default_type application/octet-stream;
    client_body_temp_path $prefix/temp/body;
    proxy_temp_path $prefix/temp/proxy;
    fastcgi_temp_path $prefix/temp/fastcgi;
    uwsgi_temp_path $prefix/temp/uwsgi;
    scgi_temp_path $prefix/temp/scgi;
    log_format pelko '\$request_uri\t\$status\t\$http_range\t\$http_if_none_match\t\$http_if_modified_since\t\$body_bytes_sent\t\$sent_http_cache_control';
    access_log $prefix/access.log pelko;
    server {
        listen 127.0.0.1:$1;
        root $state/www;
        include $prefix/guide.conf;
        location ^~ /slow/ {
            alias $state/www/;
            limit_rate 256k;
        }
    }
}
CONF
}

nginx_pid=
stop_nginx() {
  stop_server "$nginx_pid"
  nginx_pid=
}
trap stop_nginx EXIT

# A port another program takes between the choice and nginx's bind is tried again, a few times.
port=
for _ in 1 2 3 4 5; do
  candidate=$(free_port)
  write_conf "$candidate"
  : >"$prefix/error.log"
  timeout --signal=TERM "${PELKO_NGINX_SECONDS:-600}" \
    "$nginx_bin" -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/error.log" &
  nginx_pid=$!
  if listening "$nginx_pid" "$candidate" 50; then
    port=$candidate
    break
  fi
  stop_nginx
done
if [ -z "$port" ]; then
  echo "with_nginx: nginx did not start:" >&2
  cat "$prefix/error.log" >&2
  exit 1
fi

export PELKO_NGINX_URL=http://127.0.0.1:$port
export PELKO_NGINX_WWW=$state/www
export PELKO_NGINX_LOG=$prefix/access.log
set +e
"$@"
code=$?
set -e
stop_nginx
exit $code
