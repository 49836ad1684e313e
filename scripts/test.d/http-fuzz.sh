#!/usr/bin/env bash
# Builds the HTTP response fuzz target (clang, libFuzzer, ASan), replays kept
# crash inputs, then fuzzes for about a minute from a few hand-written answers.
# Exits non-zero on a crash; the crashing input is left in build/fuzz/http-artifacts/.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
build=$root/build/fuzz
if [ ! -f "$build/build.ninja" ]; then
  timeout 300 cmake --preset fuzz -S "$root" >/dev/null || exit 1
fi
log=$(mktemp)
if ! timeout 600 cmake --build "$build" --target http_fuzz -- -j"${JOBS:-2}" >"$log" 2>&1; then
  cat "$log"; rm -f "$log"; exit 1
fi
rm -f "$log"
fuzzer=$build/fuzz/http/http_fuzz

seeds=$build/http-seeds
corpus=$build/http-corpus
artifacts=$build/http-artifacts
rm -rf "$seeds" && mkdir -p "$seeds" "$corpus" "$artifacts"
# Each seed: an options byte, a receive-size byte, then what the server sends.
seed() { printf "$2" >"$seeds/$1"; }
seed counted '\x00\x10HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello'
seed chunked '\x00\x01HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\n0\r\nT: 1\r\n\r\n'
seed redirect-continue-html '\x01\x05HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 1\r\n\r\nrHTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8"></head>'
seed digest-multipart '\x10\x03HTTP/1.1 401 No\r\nWWW-Authenticate: Digest realm="r", nonce="n", qop="auth"\r\nContent-Length: 0\r\n\r\nHTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; boundary=zz\r\n\r\n--zz\r\n\r\nx\r\n--zz--\r\n'
seed error-xml '\x00\x07HTTP/1.1 500 Oops\r\nContent-Type: application/problem+xml\r\nContent-Length: 44\r\n\r\n<?xml version="1.0" encoding="UTF-16"?><e/>'
seed basic-until-close '\x12\x02HTTP/1.1 401 No\r\nWWW-Authenticate: Basic realm="r"\r\nConnection: close\r\n\r\nHTTP/1.0 200 OK\r\nSet-Cookie: a=1; Path=/; Max-Age=9\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\nbody'

regressions=("$root"/tests/http/fuzz-regressions/*)
if [ -e "${regressions[0]}" ]; then
  timeout 120 "$fuzzer" -runs=0 "${regressions[@]}" >/dev/null 2>&1 || { echo "a kept crash input fails again"; exit 1; }
fi
timeout 180 "$fuzzer" -max_total_time=60 -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -artifact_prefix="$artifacts/" "$corpus" "$seeds" 2>&1 | tail -n 3
status=${PIPESTATUS[0]}
[ "$status" = 0 ] || echo "HTTP fuzzing found a failure (exit $status); inputs in $artifacts"
exit "$status"
