#!/usr/bin/env bash
# xvfb.sh start|stop STATE_DIR
# Starts a private Xvfb when no display is set, and records its display in STATE_DIR/display
# for wine-run.sh; stop ends the Xvfb that start began, and nothing else.
set -eu
action=$1
state=$2
mkdir -p "$state"

case "$action" in
start)
  if [ -n "${DISPLAY:-}" ]; then
    echo "using display $DISPLAY"
    rm -f "$state/display" "$state/xvfb.pid"
    exit 0
  fi
  "$0" stop "$state" >/dev/null 2>&1 || true
  rm -f "$state/displayfd"
  # Detached, with no pipe left open, so that CTest does not wait for it.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$state/displayfd" </dev/null >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 1 100); do
    if [ -s "$state/displayfd" ]; then
      echo ":$(tr -d '[:space:]' <"$state/displayfd")" >"$state/display"
      echo "started Xvfb on $(cat "$state/display")"
      exit 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not start:" >&2
  cat "$state/xvfb.log" >&2
  exit 1
  ;;
stop)
  if [ -f "$state/xvfb.pid" ]; then
    pid=$(cat "$state/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    echo "stopped Xvfb $pid"
  fi
  rm -f "$state/display" "$state/xvfb.pid" "$state/displayfd"
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
  ;;
esac
