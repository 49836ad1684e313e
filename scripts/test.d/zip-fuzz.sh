#!/usr/bin/env bash
# Builds the zip fuzz target (clang, libFuzzer, ASan), replays the kept crash
# inputs, then fuzzes for about a minute from the hand-built archives (deep names,
# device names, shared data among them), inputs up to 1 MiB. Exits
# non-zero on a crash; the crashing input is left in build/fuzz/zip-artifacts/.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
fuzz_build zip_fuzz || exit 1
seeds=$root/build/fuzz/zip-seeds
rm -rf "$seeds" && mkdir -p "$seeds"
python3 "$root/tests/zip/fixtures.py" handmade "$seeds" || exit 1
find "$seeds" -size +1024k -delete
fuzz_run zip "$root/build/fuzz/fuzz/zip/zip_fuzz" "$seeds" "$root/tests/zip/regressions" 1048576
