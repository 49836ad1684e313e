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

port=$(free_port)
write_nginx_conf "$work" "$port" "$work/www" "access_log off; sendfile on;"
nginx -g 'daemon off;' -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
trap 'exit 1' INT TERM
trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null; rm -f "$work"/out-*.bin' EXIT
wait_http "$port" || { echo "bench/http: nginx did not start"; exit 1; }

url=http://127.0.0.1:$port/big.bin
if [ "$builds" != windows ]; then
  python3 "$root/bench/http/measure.py" "$url" "$work" "$runs" "native" "$root/build/native/tools/idhttp-get/idhttp-get"
fi
[ "$builds" != native ] || exit 0
wine_env "$root/build/windows/wineprefix"
wine_prefix_init
python3 "$root/bench/http/measure.py" "$url" "$work" "$runs" "windows .exe under Wine" wine "$root/build/windows/tools/idhttp-get/idhttp-get.exe"
