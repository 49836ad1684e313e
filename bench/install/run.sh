#!/usr/bin/env bash
# The whole installation timed end to end: a signed package of about 150 MB
# served by nginx on 127.0.0.1:80, the real installer exe under Wine + Xvfb
# clicked by the UI driver from "Potrdi" to the outcome notice, the time of
# each step and the total; beside it, in the same alternating run, the same
# work done natively by curl, sha256sum and bsdtar, and the ratios. Holds the
# port-80 lock for its whole run. Not part of the test command.
#   bench/install/run.sh [RUNS]     (default 3)
set -euo pipefail
if [ -z "${TRAMELA_PORT80_LOCKED:-}" ]; then
  exec env TRAMELA_PORT80_LOCKED=1 flock /tmp/tramela-port80.lock bash "$0" "$@"
fi
source "$(dirname "$0")/../../scripts/lib.sh"
source "$root/scripts/e2e-lib.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
runs=${1:-3}
work=$root/build/bench-install

for preset in windows native; do
  if [ ! -f "$root/build/$preset/build.ninja" ]; then cmake --preset "$preset" -S "$root" >/dev/null; fi
done
cmake --build "$root/build/windows" --target TramelaNamestitev ui_driver fake-setup idle-process -- -j"${JOBS:-2}" >/dev/null
signer=$root/build/native/tools/sign-package/sign-package
key=$root/build/keys/package-key.pem
if cmake --build "$root/build/native" --target sign-package -- -j"${JOBS:-2}" >/dev/null 2>&1 && [ -f "$key" ]; then
  signed=1
else
  signed=
  echo "no package signing here (tools/sign-package or $key missing): the package is served unsigned"
fi
e2e_check_built
port80_free

www=$work/www
package=$www/Download/TramelaCoreServer.zip
if [ ! -f "$package" ]; then
  echo "making the package (once)..."
  rm -rf "$work/content"
  python3 "$root/bench/zip/make-package.py" "$work/content" >/dev/null
  mkdir -p "$www/Download"
  bash "$root/tools/make-package/make-package.sh" "$package.part" "$setup" "$work/content" >/dev/null
  mv "$package.part" "$package"
  rm -rf "$work/content"
fi
rm -f "$package.sig"
if [ -n "$signed" ]; then "$signer" "$key" "$package" >/dev/null; fi
chmod -R a+rX "$work"

# The distribution server, with each request's end and duration in its log.
mkdir -p "$work/serve/tmp"
rm -f "$work/serve/access.log"
cat >"$work/serve/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/serve/nginx.pid;
error_log $work/serve/error.log;
events { worker_connections 64; }
http {
  log_format timed '\$msec \$request_time \$status \$body_bytes_sent \$request_uri';
  access_log $work/serve/access.log timed;
  client_body_temp_path $work/serve/tmp;
  proxy_temp_path $work/serve/tmp;
  fastcgi_temp_path $work/serve/tmp;
  uwsgi_temp_path $work/serve/tmp;
  scgi_temp_path $work/serve/tmp;
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:80;
    root $www;
  }
}
CONF
nginx_pid=
finish() {
  stop_installer
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  stop_xvfb
}
trap finish EXIT
trap 'exit 1' INT TERM
nginx -p "$work/serve" -c "$work/serve/nginx.conf" &
nginx_pid=$!
for _ in $(seq 1 100); do curl -s -o /dev/null --max-time 1 http://127.0.0.1:80/ && break; sleep 0.1; done
TRAMELA_FORCE_XVFB=1 start_xvfb
wine_env "$work/wineprefix"
wine_prefix_init

python3 "$root/bench/install/measure.py" "$runs" "$package" "$work/serve/access.log" "$work" "$driver" "$exe"
