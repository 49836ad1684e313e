#!/usr/bin/env bash
# Extracts a generated ~200 MB package with zipella-extract, bsdtar and
# `unzip -o -q`, alternating, several runs each, once into the build folder's
# file system and once into tmpfs (/dev/shm); prints each tool's median wall
# and CPU time, its peak memory and the ratios against bsdtar. Not part of the
# test command.
#   bench/zip/run.sh [RUNS]     (default 7)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
runs=${1:-7}
work=$root/build/bench-zip
mkdir -p "$work"
if [ ! -f "$root/build/native/build.ninja" ]; then cmake --preset native -S "$root" >/dev/null; fi
cmake --build "$root/build/native" --target zipella-extract >/dev/null
tool=$root/build/native/tools/zipella-extract/zipella-extract

if [ ! -f "$work/package.zip" ]; then
  echo "making the package (once)..."
  rm -rf "$work/tree"
  python3 "$root/bench/zip/make-package.py" "$work/tree"
  (cd "$work/tree" && zip -q -r -6 "$work/package.zip.part" .)
  mv "$work/package.zip.part" "$work/package.zip"
  rm -rf "$work/tree"
fi
shm=$(mktemp -d /dev/shm/tramela-bench-zip.XXXXXX)
trap 'rm -rf "$shm"' EXIT
python3 "$root/bench/zip/measure.py" "$work/package.zip" "$runs" "$tool" "$work" "$shm"
