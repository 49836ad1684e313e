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
if [ -n "$signed" ]; then "$signer" --version 1 "$key" "$package" >/dev/null; fi
chmod -R a+rX "$work"

export TRAMELA_SERVE_DIR=$work/serve
wine_env "$work/wineprefix"
finish() {
  stop_installer
  bash "$root/scripts/serve-package.sh" stop 80
  stop_xvfb
}
trap finish EXIT
trap 'exit 1' INT TERM
bash "$root/scripts/serve-package.sh" start "$www" 80
TRAMELA_FORCE_XVFB=1 start_xvfb
wine_prefix_init

python3 "$root/bench/install/measure.py" "$runs" "$package" "$TRAMELA_SERVE_DIR/80/access.log" "$work" "$driver" "$exe"
