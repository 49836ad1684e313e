#!/usr/bin/env bash
# Installs what is missing, builds the native, sanitizer and Windows configurations,
# and runs every test: natively, under ASan+UBSan, and as .exe files under Wine.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
bash "$root/scripts/deps.sh" || exit 1
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
# Paths below the source root hash alike from every build folder, so the
# end-to-end run's second installer build (a raised package floor) reuses the
# objects of the first.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}

passed=0; failed=0
run_ctest() {
  local preset=$1 out
  out=$(mktemp)
  ctest --test-dir "$root/build/$preset" --output-on-failure -j"${JOBS:-2}" 2>&1 | tee "$out"
  local p f
  p=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$out" | tail -n 1)
  if [ -z "$p" ]; then failed=$((failed + 1)); rm -f "$out"; return; fi
  set -- $p
  passed=$((passed + $1 - $2)); failed=$((failed + $2))
  rm -f "$out"
}

for preset in native asan windows; do
  echo "== build $preset"
  if ! configure_and_build "$preset"; then echo "build of $preset failed"; failed=$((failed + 1)); continue; fi
  echo "== test $preset"
  if [ "$preset" = windows ]; then
    wine_env "$root/build/windows/wineprefix"
    wine_prefix_init
    start_xvfb
  fi
  run_ctest "$preset"
done
stop_xvfb

for extra in "$root"/scripts/test.d/*.sh; do
  [ -f "$extra" ] || continue
  echo "== $(basename "$extra")"
  if bash "$extra"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
