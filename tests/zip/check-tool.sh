#!/usr/bin/env bash
# Checks zipella-extract end to end: FIXTURES [RUNNER...] TOOL. A good archive
# gives unzip's tree and one line per entry; a hostile one fails with the
# exception's class and message and a non-zero status.
set -uo pipefail
fixtures=$1; shift
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "zipella-extract: $*"; exit 1; }

"$@" "$fixtures/real/zip-level9.zip" "$out/tree" > "$out/log" 2>&1 || { cat "$out/log"; fail "good archive failed"; }
diff -r "$fixtures/ref/zip-level9" "$out/tree" || fail "tree differs from unzip's"
lines=$(wc -l < "$out/log")
[ "$lines" = 11 ] || fail "printed $lines lines for 11 entries"

if "$@" "$fixtures/hand/climb-inner.zip" "$out/climb" > "$out/err" 2>&1; then fail "hostile archive succeeded"; fi
grep -qF 'EZipellaError: Path leaves the target folder in this file: a/../../evil.txt' "$out/err" ||
  { cat "$out/err"; fail "no class and message"; }
[ ! -e "$out/evil.txt" ] || fail "wrote outside the target"
echo "zipella-extract ok"
