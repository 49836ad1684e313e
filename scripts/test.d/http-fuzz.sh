#!/usr/bin/env bash
# Builds the HTTP response fuzz target (clang, libFuzzer, ASan), replays kept
# crash inputs, then fuzzes for about a minute from a few hand-written answers.
# Exits non-zero on a crash; the crashing input is left in build/fuzz/http-artifacts/.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
fuzz_build http_fuzz || exit 1
seeds=$root/build/fuzz/http-seeds
rm -rf "$seeds" && mkdir -p "$seeds"
# Each seed: an options byte, a receive-size byte, then what the server sends.
seed() { printf "$2" >"$seeds/$1"; }
seed counted '\x00\x10HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello'
seed chunked '\x00\x01HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\nhello\r\n0\r\nT: 1\r\n\r\n'
seed redirect-continue-html '\x01\x05HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 1\r\n\r\nrHTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8"></head>'
seed digest-multipart '\x10\x03HTTP/1.1 401 No\r\nWWW-Authenticate: Digest realm="r", nonce="n", qop="auth"\r\nContent-Length: 0\r\n\r\nHTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; boundary=zz\r\n\r\n--zz\r\n\r\nx\r\n--zz--\r\n'
seed error-xml '\x00\x07HTTP/1.1 500 Oops\r\nContent-Type: application/problem+xml\r\nContent-Length: 44\r\n\r\n<?xml version="1.0" encoding="UTF-16"?><e/>'
seed basic-until-close '\x12\x02HTTP/1.1 401 No\r\nWWW-Authenticate: Basic realm="r"\r\nConnection: close\r\n\r\nHTTP/1.0 200 OK\r\nSet-Cookie: a=1; Path=/; Max-Age=9\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\nbody'

fuzz_run http "$root/build/fuzz/fuzz/http/http_fuzz" "$seeds" "$root/tests/http/fuzz-regressions" 8192
