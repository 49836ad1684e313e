#!/usr/bin/env bash
# Checks sign-package against openssl: the file's six signed lines name the
# package as sha256sum and openssl see it and the version asked for, and
# openssl verifies the signature; bad input (a version among it) ends with
# exit 1 and leaves no .sig behind.
#   check-sign-package.sh FIXTURE_DIR SIGN_PACKAGE
set -euo pipefail
fixtures=$1 tool=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cp "$fixtures/package.zip" "$work/package.zip"
"$tool" "$fixtures/key-a.pem" "$work/package.zip" --version 2147483647 >/dev/null
sig=$work/package.zip.sig
expected=$(printf 'tramela-package-signature 2\nfile-name: TramelaCoreServer.zip\nfile-size: %s\nfile-sha256: %s\npackage-version: 2147483647\nkey-id: %s' \
  "$(stat -c %s "$work/package.zip")" "$(sha256sum "$work/package.zip" | cut -c1-64)" "$(sed -n 1p "$fixtures/key-a.txt")")
[ "$(head -n 6 "$sig")" = "$expected" ] || fail "the signed lines differ: $(head -n 6 "$sig")"
[ "$(wc -l < "$sig")" = 7 ] || fail "not seven lines"
grep -qE '^signature: [0-9a-f]{128}$' <(sed -n 7p "$sig") || fail "bad signature line"

# r and s back into DER, for openssl to verify over the first six lines.
rs=$(sed -n 7p "$sig" | cut -c12-)
printf 'asn1=SEQUENCE:rs\n[rs]\nr=INTEGER:0x%s\ns=INTEGER:0x%s\n' "${rs:0:64}" "${rs:64:64}" > "$work/rs.cnf"
openssl asn1parse -genconf "$work/rs.cnf" -out "$work/rs.der" >/dev/null
head -n 6 "$sig" > "$work/signed"
openssl dgst -sha256 -verify "$fixtures/key-a.pub.pem" -signature "$work/rs.der" "$work/signed" >/dev/null \
  || fail "openssl does not verify the signature"
openssl dgst -sha256 -verify "$fixtures/key-b.pub.pem" -signature "$work/rs.der" "$work/signed" >/dev/null 2>&1 \
  && fail "the signature verifies with another key"

# Refusals: no key, a public key, a key of another curve, no package; no
# version, or one the signature file cannot spell.
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out "$work/p384.pem" 2>/dev/null
rm -f "$sig"
good="$fixtures/key-a.pem $work/package.zip"
for args in "--version 1 $work/none.pem $work/package.zip" "--version 1 $fixtures/key-a.pub.pem $work/package.zip" \
            "--version 1 $work/p384.pem $work/package.zip" "--version 1 $fixtures/key-a.pem $work/none.zip" \
            "$good" "$good --version" "--version 0 $good" "--version 07 $good" "--version +7 $good" \
            "--version -7 $good" "--version 2147483648 $good" "--version 0x10 $good" \
            "--version 1 --version 2 $good"; do
  # shellcheck disable=SC2086
  if "$tool" $args >/dev/null 2>"$work/err"; then fail "accepted $args"; fi
  [ -s "$work/err" ] || fail "no message for $args"
  [ ! -e "$sig" ] && [ ! -e "$sig.tmp" ] || fail "left a signature behind for $args"
done
"$tool" >/dev/null 2>&1 && fail "ran without arguments"
echo "sign-package: signatures verified by openssl, bad input refused"
