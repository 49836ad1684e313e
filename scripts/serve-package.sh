#!/usr/bin/env bash
# The local distribution server: nginx on 127.0.0.1:PORT serving ROOT (which
# holds Download/TramelaCoreServer.zip), with its configuration, logs and pid in
# a folder of its own; and stopping it again. A package without its signature
# file is signed with the development key first (package-version 1), as the
# installer accepts no other; TRAMELA_SERVE_AS_IS=1 serves ROOT untouched (the tests' unsigned case).
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
      sign_package "" "$package" 1 >/dev/null
    fi
    rate=
    [ -n "${TRAMELA_SERVE_RATE:-}" ] && rate="limit_rate ${TRAMELA_SERVE_RATE};"
    "$0" stop "$port"
    # The combined format, then each request's end and duration (bench/install times the download).
    write_nginx_conf "$dir" "$port" "$www" "log_format timed '\$remote_addr - \$remote_user [\$time_local] \"\$request\" \$status \$body_bytes_sent '
                   '\"\$http_referer\" \"\$http_user_agent\" \$msec \$request_time';
  access_log $dir/access.log timed;
  types { application/zip zip; }
  default_type application/octet-stream;" "$rate"
    nginx -c "$dir/nginx.conf" -p "$dir" -e "$dir/nginx-error.log" 2>>"$dir/nginx-error.log" || {
      echo "serve-package: nginx did not start" >&2; cat "$dir/nginx-error.log" >&2; exit 1; }
    wait_http "$port" && exit 0
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
