#!/usr/bin/env bash
# The release preset configures only with named package keys, none of them
# the development key, however its file is written.
#   check-release-preset.sh SOURCE_DIR
set -uo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
development=$source/build/keys/package-key.pem
[ -f "$development" ] || fail "no development key at $development (configure any preset first)"

# configure NAME KEYS: the release preset in its own tree; its output in $work/NAME.log.
configure() { cmake -S "$source" -B "$work/$1" --preset release "-DTRAMELA_PACKAGE_KEYS=$2" >"$work/$1.log" 2>&1; }
# refused NAME KEYS TEXT: configuring fails and says TEXT.
refused() {
  configure "$1" "$2" && fail "$1: configured"
  tr -s ' \n' ' ' <"$work/$1.log" | grep -qF "$3" || fail "$1: no \"$3\" in: $(cat "$work/$1.log")"
}

openssl pkey -in "$development" -pubout -outform DER 2>/dev/null |
  openssl ec -pubin -inform DER -conv_form compressed -out "$work/development-compressed.pem" 2>/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/publisher.pem" 2>/dev/null
openssl pkey -in "$work/publisher.pem" -pubout -out "$work/publisher.pub.pem"

refused no-keys "" "A release build needs the publisher's public keys"
refused development "$source/build/keys/package-key.pub.pem" "is the development key"
refused development-elsewhere "$work/publisher.pub.pem;$work/development-compressed.pem" \
  "development-compressed.pem is the development key"
configure publisher "$work/publisher.pub.pem" || fail "the publisher's key was refused: $(cat "$work/publisher.log")"
echo "release preset: all cases passed"
