#!/usr/bin/env bash
# The signed packages of the installation tests, made with openssl and the
# project's sign-package tool: a test key and another key, a package, its
# signature by each key, and each public key as "KEY-ID-HEX POINT-HEX". The
# tests' installer accepts package-version 7 and above (AppFixture.h); the
# package is version 7, old-version.sig signs it as version 6.
#   make-fixtures.sh DIR
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
for key in test-key other-key; do
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$dir/$key.pem" 2>/dev/null
  openssl ec -in "$dir/$key.pem" -pubout -outform DER -out "$dir/$key.der" 2>/dev/null
  id=$(openssl dgst -sha256 -binary "$dir/$key.der" | head -c 8 | od -An -tx1 | tr -d ' \n')
  # The DER ends with 04, X and Y: the last 64 bytes are the point.
  point=$(tail -c 64 "$dir/$key.der" | od -An -tx1 | tr -d ' \n')
  echo "$id $point" >"$dir/$key.txt"
done
# Any bytes do for the sequence's substitute zip component.
head -c 3000 /dev/urandom >"$dir/package.zip"
sign_package "$dir/other-key.pem" "$dir/package.zip" 7 >/dev/null
mv "$dir/package.zip.sig" "$dir/other-key.sig"
sign_package "$dir/test-key.pem" "$dir/package.zip" 6 >/dev/null
mv "$dir/package.zip.sig" "$dir/old-version.sig"
sign_package "$dir/test-key.pem" "$dir/package.zip" 7 >/dev/null
# A package of some MB, for the progress line of a download from a test server.
head -c $((3 * 1024 * 1024)) /dev/urandom >"$dir/big-package.zip"
sign_package "$dir/test-key.pem" "$dir/big-package.zip" 7 >/dev/null
