#!/usr/bin/env bash
# The local distribution server: nginx on 127.0.0.1:PORT serving ROOT (which
# holds Download/TramelaCoreServer.zip), with its configuration, logs and pid in
# a folder of its own; and stopping it again. A package without its signature
# file is signed with the development key first, as the installer accepts no
# other; TRAMELA_SERVE_AS_IS=1 serves ROOT untouched (the tests' unsigned case).
#   serve-package.sh start ROOT [PORT]   returns when the port answers
#   serve-package.sh stop [PORT]
# TRAMELA_SERVE_RATE (for example 4m) limits the bytes per second of each answer.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cmd=${1:-}
state=${TRAMELA_SERVE_DIR:-/tmp/tramela-serve}
case "$cmd" in
  start)
    www=$(cd "$2" && pwd) port=${3:-80}
    dir="$state/$port"
    package=$www/Download/TramelaCoreServer.zip
    if [ -z "${TRAMELA_SERVE_AS_IS:-}" ] && [ -f "$package" ] && [ ! -f "$package.sig" ]; then
      sign_package "" "$package" >/dev/null
    fi
    rate=
    [ -n "${TRAMELA_SERVE_RATE:-}" ] && rate="limit_rate ${TRAMELA_SERVE_RATE};"
    "$0" stop "$port"
    mkdir -p "$dir/tmp"
    cat >"$dir/nginx.conf" <<CONF
daemon on;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  # The combined format, then each request's end and duration (bench/install times the download).
  log_format timed '\$remote_addr - \$remote_user [\$time_local] "\$request" \$status \$body_bytes_sent '
                   '"\$http_referer" "\$http_user_agent" \$msec \$request_time';
  access_log $dir/access.log timed;
  client_body_temp_path $dir/tmp;
  proxy_temp_path $dir/tmp;
  fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp;
  scgi_temp_path $dir/tmp;
  types { application/zip zip; }
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port;
    root $www;
    $rate
  }
}
CONF
    nginx -c "$dir/nginx.conf" -p "$dir" -e "$dir/error.log" 2>>"$dir/error.log" || {
      echo "serve-package: nginx did not start" >&2; cat "$dir/error.log" >&2; exit 1; }
    for _ in $(seq 1 100); do
      curl -s -o /dev/null --max-time 1 "http://127.0.0.1:$port/" && exit 0
      sleep 0.1
    done
    echo "serve-package: nothing answers on 127.0.0.1:$port" >&2
    exit 1
    ;;
  stop)
    port=${2:-80}
    dir="$state/$port"
    if [ -f "$dir/nginx.pid" ]; then
      pid=$(cat "$dir/nginx.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      rm -f "$dir/nginx.pid"
    fi
    ;;
  *)
    echo "usage: serve-package.sh start ROOT [PORT] | stop [PORT]" >&2
    exit 2
    ;;
esac
