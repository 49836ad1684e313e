#!/usr/bin/env bash
# Downloads a 256 MiB file served by nginx on 127.0.0.1 with idhttp-get and with
# `curl -s -o`, alternating, several runs each; prints median times, the
# throughput ratio and both peak memories, natively and with the .exe under
# Wine. Not part of the test command.
#   bench/http/run.sh [RUNS [native|windows|both]]     (default 5 both)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
runs=${1:-5}
builds=${2:-both}
work=$root/build/bench-http
mkdir -p "$work/www" "$work/tmp"
chmod 755 "$root/build" "$work" "$work/www"
presets=(native windows)
[ "$builds" = both ] || presets=("$builds")
for preset in "${presets[@]}"; do
  if [ ! -f "$root/build/$preset/build.ninja" ]; then cmake --preset "$preset" -S "$root" >/dev/null; fi
  cmake --build "$root/build/$preset" --target idhttp-get >/dev/null
done
[ -f "$work/www/big.bin" ] || head -c 268435456 /dev/urandom >"$work/www/big.bin"
chmod 644 "$work/www/big.bin"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
trap 'exit 1' INT TERM
trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null; rm -f "$work"/out-*.bin' EXIT
for i in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

url=http://127.0.0.1:$port/big.bin
if [ "$builds" != windows ]; then
  python3 "$root/bench/http/measure.py" "$url" "$work" "$runs" "native" "$root/build/native/tools/idhttp-get/idhttp-get"
fi
[ "$builds" != native ] || exit 0
wine_env "$root/build/windows/wineprefix"
wine_prefix_init
python3 "$root/bench/http/measure.py" "$url" "$work" "$runs" "windows .exe under Wine" wine "$root/build/windows/tools/idhttp-get/idhttp-get.exe"
