#!/usr/bin/env bash
# with_squid.sh STATE -- COMMAND [ARGS...]
# Runs COMMAND while Debian's Squid is a forward proxy on a free loopback port that asks for
# Basic credentials (407) and forwards only to loopback addresses, with a configuration, a
# password file and logs of its own in STATE. It keeps nothing, so every request reaches the
# server behind it. COMMAND sees:
#   PELKO_SQUID_PROXY      127.0.0.1:PORT
#   PELKO_SQUID_USER       the user name it accepts
#   PELKO_SQUID_PASSWORD   that user's password
#   PELKO_SQUID_LOG        the access log: one line per request: user ("-" when none), method,
#                          URL, status
# Squid is stopped when COMMAND ends, and in any case after PELKO_SQUID_SECONDS (default 600).
# Exit code: COMMAND's, or 1 when Squid cannot be started.
set -euo pipefail
state=$1
[ "$2" = "--" ] || { echo "usage: with_squid.sh STATE -- COMMAND..." >&2; exit 2; }
shift 2

squid_bin=$(command -v squid || echo /usr/sbin/squid)
helper=/usr/lib/squid/basic_ncsa_auth
if [ ! -x "$squid_bin" ] || [ ! -x "$helper" ]; then
  echo "with_squid: squid missing; run scripts/setup.sh" >&2
  exit 1
fi
state=$(mkdir -p "$state" && cd "$state" && pwd)
work=$state/squid
rm -rf "$work"
mkdir -p "$work"
user=pelkoproxy
password=proxy-secret-7
printf '%s:%s\n' "$user" "$(openssl passwd -1 "$password")" >"$work/passwd"
# Squid started by root works as an unprivileged user, which must reach its own files.
run_as=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  run_as=proxy
  chmod 755 "$work"
  chown -R "$run_as" "$work"
fi

# free_port, stop_server, listening
. "$(dirname "${BASH_SOURCE[0]}")/../common/loopback_server.sh"

write_conf() {
  cat >"$work/squid.conf" <<CONF
http_port 127.0.0.1:$1
visible_hostname pelko-test-proxy
cache_effective_user $run_as
pid_filename $work/squid.pid
cache_log $work/cache.log
logformat pelko %[un %rm %ru %>Hs
access_log stdio:$work/access.log pelko
cache deny all
cache_mem 8 MB
coredump_dir $work
auth_param basic program $helper $work/passwd
auth_param basic realm Pelko test proxy
acl loopback_server dst 127.0.0.0/8
acl known_user proxy_auth REQUIRED
http_access deny !loopback_server
http_access allow localhost known_user
http_access deny all
shutdown_lifetime 0 seconds
CONF
}

squid_pid=
stop_squid() {
  stop_server "$squid_pid"
  squid_pid=
}
trap stop_squid EXIT

# A port another program takes between the choice and Squid's bind is tried again, a few times.
port=
for _ in 1 2 3 4 5; do
  candidate=$(free_port)
  write_conf "$candidate"
  : >"$work/squid.out"
  # -N: no daemon, so this script owns the process; -d 1: errors to standard error.
  timeout --signal=TERM "${PELKO_SQUID_SECONDS:-600}" \
    "$squid_bin" -N -d 1 -f "$work/squid.conf" >"$work/squid.out" 2>&1 &
  squid_pid=$!
  if listening "$squid_pid" "$candidate" 100; then
    port=$candidate
    break
  fi
  stop_squid
done
if [ -z "$port" ]; then
  echo "with_squid: squid did not start:" >&2
  cat "$work/squid.out" "$work/cache.log" >&2 2>/dev/null || true
  exit 1
fi

export PELKO_SQUID_PROXY=127.0.0.1:$port
export PELKO_SQUID_USER=$user
export PELKO_SQUID_PASSWORD=$password
export PELKO_SQUID_LOG=$work/access.log
set +e
"$@"
code=$?
set -e
stop_squid
exit $code
