#!/usr/bin/env bash
# Makes the signature fixtures in DIR with the openssl tool: two P-256 key
# pairs, a package, signature files signed by openssl itself (not by our code),
# and reference digests from sha256sum. Runs on Linux for both builds.
#   make-fixtures.sh DIR [BUILT_IN_KEY.pem...]
#   key-X.txt: key-id hex (SHA-256 of the DER SubjectPublicKeyInfo, 8 bytes), point hex (X||Y)
set -euo pipefail
out=${1:?usage: make-fixtures.sh DIR [BUILT_IN_KEY.pem...]}
shift
built_in=()
for pem in "$@"; do built_in+=("$(cd "$(dirname "$pem")" && pwd)/$(basename "$pem")"); done
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# key_text DER: the key-id and the point of a DER SubjectPublicKeyInfo.
key_text() {
  sha256sum < "$1" | cut -c1-16
  tail -c 64 "$1" | xxd -p -c 256
}

# The keys the build embeds, as openssl reads them, to check the generated table.
n=0
for pem in "${built_in[@]}"; do
  openssl ec -pubin -in "$pem" -outform DER -param_enc named_curve -conv_form uncompressed \
    -out "built-in-$n.der" 2>/dev/null
  key_text "built-in-$n.der" > "built-in-$n.txt"
  n=$((n + 1))
done

for name in a b; do
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "key-$name.pem" 2>/dev/null
  openssl pkey -in "key-$name.pem" -pubout -out "key-$name.pub.pem"
  openssl pkey -pubin -in "key-$name.pub.pem" -outform DER -out "key-$name.der"
  key_text "key-$name.der" > "key-$name.txt"
done

head -c 150001 /dev/urandom > package.zip
# Crosses the platform's piece sizes when hashed in odd-sized pieces.
head -c 3000017 /dev/urandom > large.bin
sha256sum package.zip large.bin > sha256sums.txt

# sign KEY KEY_ID SIZE SHA256 > FILE: the seven lines (package-version 42),
# signed by openssl; the DER (r, s) is written out as 64 hex digits each.
sign() {
  local key=$1 key_id=$2 size=$3 sha=$4 lines r s
  lines=$(printf 'tramela-package-signature 2\nfile-name: TramelaCoreServer.zip\nfile-size: %s\nfile-sha256: %s\npackage-version: 42\nkey-id: %s\n' \
    "$size" "$sha" "$key_id")
  printf '%s\n' "$lines" | openssl dgst -sha256 -sign "$key" -out sig.der
  r=$(openssl asn1parse -inform DER -in sig.der | awk -F: '/INTEGER/ {print $NF}' | sed -n 1p)
  s=$(openssl asn1parse -inform DER -in sig.der | awk -F: '/INTEGER/ {print $NF}' | sed -n 2p)
  rm -f sig.der
  printf '%s\nsignature: %s%s\n' "$lines" "$(hex32 "$r")" "$(hex32 "$s")"
}

# hex32 HEX: the value as 64 lowercase hex digits, zero-padded on the left.
hex32() {
  local v
  v=$(printf '%064s' "$1" | tr 'A-F ' 'a-f0')
  printf '%s' "${v: -64}"
}

id_a=$(sed -n 1p key-a.txt) id_b=$(sed -n 1p key-b.txt)
size=$(stat -c %s package.zip) sha=$(sha256sum package.zip | cut -c1-64)
sign key-a.pem "$id_a" "$size" "$sha" > good.sig
sign key-b.pem "$id_b" "$size" "$sha" > by-b.sig
# Signed by key b but naming key a.
sign key-b.pem "$id_a" "$size" "$sha" > b-claims-a.sig
