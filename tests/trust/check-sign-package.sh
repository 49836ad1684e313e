#!/usr/bin/env bash
# Checks sign-package against openssl: the file's five lines name the package
# as sha256sum and openssl see it, and openssl verifies the signature; bad
# input ends with exit 1 and leaves no .sig behind.
#   check-sign-package.sh FIXTURE_DIR SIGN_PACKAGE
set -euo pipefail
fixtures=$1 tool=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cp "$fixtures/package.zip" "$work/package.zip"
"$tool" "$fixtures/key-a.pem" "$work/package.zip" >/dev/null
sig=$work/package.zip.sig
expected=$(printf 'tramela-package-signature 1\nfile-name: TramelaCoreServer.zip\nfile-size: %s\nfile-sha256: %s\nkey-id: %s' \
  "$(stat -c %s "$work/package.zip")" "$(sha256sum "$work/package.zip" | cut -c1-64)" "$(sed -n 1p "$fixtures/key-a.txt")")
[ "$(head -n 5 "$sig")" = "$expected" ] || fail "the signed lines differ: $(head -n 5 "$sig")"
[ "$(wc -l < "$sig")" = 6 ] || fail "not six lines"
grep -qE '^signature: [0-9a-f]{128}$' <(sed -n 6p "$sig") || fail "bad signature line"

# r and s back into DER, for openssl to verify over the first five lines.
rs=$(sed -n 6p "$sig" | cut -c12-)
printf 'asn1=SEQUENCE:rs\n[rs]\nr=INTEGER:0x%s\ns=INTEGER:0x%s\n' "${rs:0:64}" "${rs:64:64}" > "$work/rs.cnf"
openssl asn1parse -genconf "$work/rs.cnf" -out "$work/rs.der" >/dev/null
head -n 5 "$sig" > "$work/signed"
openssl dgst -sha256 -verify "$fixtures/key-a.pub.pem" -signature "$work/rs.der" "$work/signed" >/dev/null \
  || fail "openssl does not verify the signature"
openssl dgst -sha256 -verify "$fixtures/key-b.pub.pem" -signature "$work/rs.der" "$work/signed" >/dev/null 2>&1 \
  && fail "the signature verifies with another key"

# Refusals: no key, a public key, a key of another curve, no package.
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out "$work/p384.pem" 2>/dev/null
rm -f "$sig"
for args in "$work/none.pem $work/package.zip" "$fixtures/key-a.pub.pem $work/package.zip" \
            "$work/p384.pem $work/package.zip" "$fixtures/key-a.pem $work/none.zip"; do
  # shellcheck disable=SC2086
  if "$tool" $args >/dev/null 2>"$work/err"; then fail "accepted $args"; fi
  [ -s "$work/err" ] || fail "no message for $args"
  [ ! -e "$sig" ] && [ ! -e "$sig.tmp" ] || fail "left a signature behind for $args"
done
"$tool" >/dev/null 2>&1 && fail "ran without arguments"
echo "sign-package: signatures verified by openssl, bad input refused"
