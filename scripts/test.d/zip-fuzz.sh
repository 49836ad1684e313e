#!/usr/bin/env bash
# Builds the zip fuzz target (clang, libFuzzer, ASan), replays the kept crash
# inputs, then fuzzes for about a minute from the hand-built archives. Exits
# non-zero on a crash; the crashing input is left in build/fuzz/zip-artifacts/.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
build=$root/build/fuzz
if [ ! -f "$build/build.ninja" ]; then
  timeout 300 cmake --preset fuzz -S "$root" >/dev/null || exit 1
fi
log=$(mktemp)
if ! timeout 600 cmake --build "$build" --target zip_fuzz -- -j"${JOBS:-2}" >"$log" 2>&1; then
  cat "$log"; rm -f "$log"; exit 1
fi
rm -f "$log"
fuzzer=$build/fuzz/zip/zip_fuzz

seeds=$build/zip-seeds
corpus=$build/zip-corpus
artifacts=$build/zip-artifacts
rm -rf "$seeds" && mkdir -p "$seeds" "$corpus" "$artifacts"
python3 "$root/tests/zip/fixtures.py" handmade "$seeds" || exit 1
find "$seeds" -size +16k -delete

regressions=("$root"/tests/zip/regressions/*)
if [ -e "${regressions[0]}" ]; then
  timeout 120 "$fuzzer" -runs=0 "${regressions[@]}" >/dev/null 2>&1 || { echo "a kept crash input fails again"; exit 1; }
fi
timeout 180 "$fuzzer" -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix="$artifacts/" "$corpus" "$seeds" 2>&1 | tail -n 5
status=${PIPESTATUS[0]}
[ "$status" = 0 ] || echo "zip fuzzing found a failure (exit $status); inputs in $artifacts"
exit "$status"
