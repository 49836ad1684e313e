#!/usr/bin/env bash
# The local distribution server: serves ROOT (which holds Download/TramelaCoreServer.zip)
# over HTTP on 127.0.0.1:PORT with python3's http.server, and stops it again.
#   serve-package.sh start ROOT [PORT]    prints nothing, returns when the port answers
#   serve-package.sh stop [PORT]
set -euo pipefail
cmd=$1
piddir=${TRAMELA_SERVE_DIR:-/tmp/tramela-serve}
mkdir -p "$piddir"
case "$cmd" in
  start)
    root=$2 port=${3:-80}
    pidfile="$piddir/$port.pid"
    if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then kill "$(cat "$pidfile")"; fi
    python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root" >"$piddir/$port.log" 2>&1 &
    echo $! >"$pidfile"
    for _ in $(seq 1 100); do
      if curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$port/"; then exit 0; fi
      kill -0 "$(cat "$pidfile")" 2>/dev/null || break
      sleep 0.1
    done
    echo "serve-package: the server did not answer on 127.0.0.1:$port" >&2
    cat "$piddir/$port.log" >&2 || true
    exit 1
    ;;
  stop)
    port=${2:-80}
    pidfile="$piddir/$port.pid"
    if [ -f "$pidfile" ]; then
      kill "$(cat "$pidfile")" 2>/dev/null || true
      rm -f "$pidfile"
    fi
    ;;
  *)
    echo "usage: serve-package.sh start ROOT [PORT] | stop [PORT]" >&2
    exit 2
    ;;
esac
