# Sourced by the scripts that run a real server for the tests on a free loopback port
# (with_nginx.sh, with_varnish.sh, with_squid.sh).

# A port nothing listens on now; another program may still take it before the server binds.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# stop_server PID: asks the process to end, and ends it after five seconds.
stop_server() {
  local pid=$1
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
}

# listening PID PORT TENTHS: whether process PID, still running, accepts on PORT within TENTHS
# tenths of a second.
listening() {
  local pid=$1 port=$2 tenths=$3
  for _ in $(seq "$tenths"); do
    kill -0 "$pid" 2>/dev/null || return 1
    if python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" \
      2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}
