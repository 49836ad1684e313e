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

# Hostile framings, one seed each: Content-Length that is no plain number or
# disagrees, a transfer coding beside a length or not ending in chunked, chunk data
# without its CRLF, interim answers without end, meta tags naming framing headers
# and without end, cookies beyond the store's limits.
ok='HTTP/1.1 200 OK\r\n'
seed cl-sign "\x00\x10${ok}Content-Length: +5\r\n\r\nhello"
seed cl-inner-space "\x00\x10${ok}Content-Length: 1 0\r\n\r\nhello"
seed cl-list "\x00\x10${ok}Content-Length: 5, 5\r\n\r\nhello"
seed cl-past-64-bits "\x00\x10${ok}Content-Length: 18446744073709551621\r\n\r\nhello"
seed cl-differing "\x00\x10${ok}Content-Length: 5\r\nContent-Length: 6\r\n\r\nhello!"
seed cl-identical "\x00\x10${ok}Content-Length: 5\r\nContent-Length: 005\r\n\r\nhello"
seed te-and-cl "\x00\x10${ok}Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
seed te-not-final "\x00\x10${ok}Transfer-Encoding: chunked, gzip\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
seed te-substring "\x00\x10${ok}Transfer-Encoding: xchunkedx\r\nContent-Length: 5\r\n\r\nhello"
seed te-twice "\x00\x10${ok}Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
seed chunk-no-crlf "\x00\x03${ok}Transfer-Encoding: chunked\r\n\r\n3\r\nhello\r\n0\r\n\r\n"
interim=
for i in $(seq 17); do interim+='HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n'; done
seed interim-17 "\x00\x20${interim}${ok}Content-Length: 2\r\n\r\nok"
seed switching "\x00\x20HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n${ok}\r\n"
page='<html><head><meta http-equiv="Content-Length" content="1"><meta http-equiv="Transfer-Encoding" content="chunked"><meta http-equiv="Content-Encoding" content="gzip"></head>'
seed meta-framing "\x00\x10${ok}Content-Type: text/html\r\nContent-Length: ${#page}\r\n\r\n${page}"
metas='<html><head>'
for i in $(seq 101); do metas+="<meta http-equiv=\"X-$i\" content=\"v\">"; done
seed meta-101 "\x00\x3f${ok}Content-Type: text/html\r\n\r\n${metas}"
cookies=
for i in $(seq 55); do cookies+="Set-Cookie: c$i=1\r\n"; done
seed cookies-55 "\x00\x3f${ok}${cookies}Set-Cookie: big=$(head -c 4100 /dev/zero | tr '\0' v)\r\nContent-Length: 0\r\n\r\n"
# Lines that never end, against the short line limit (options bit 64; 128 splits).
endless=$(head -c 2000 /dev/zero | tr '\0' a)
seed endless-status "\x40\x3f${endless}"
seed endless-header "\x40\x3f${ok}X-Long: ${endless}"
seed endless-chunk-size "\xc0\x3f${ok}Transfer-Encoding: chunked\r\n\r\n${endless}"
seed endless-trailer "\x40\x3f${ok}Transfer-Encoding: chunked\r\n\r\n0\r\nX-T: ${endless}"

fuzz_run http "$root/build/fuzz/fuzz/http/http_fuzz" "$seeds" "$root/tests/http/fuzz-regressions" 8192
