#!/usr/bin/env bash
# Makes the server package TramelaCoreServer.zip: the setup program at
# Install/Firebird-2.1.3.18185_0_Win32.exe below the root, plus the files of an
# optional content folder. Stored and deflated entries only, no zip64, which is
# what the installer's zip component reads. The package is signed beside it
# (OUT.zip.sig) with the key in TRAMELA_SIGNING_KEY, by default the
# development key that builds without TRAMELA_PACKAGE_KEYS trust, as
# package-version TRAMELA_PACKAGE_VERSION (default 1). BEHAVIOUR,
# "DELAY_MS EXIT_CODE", goes beside the stand-in setup as Install/fake-setup.txt:
# it runs that long and ends with that code.
#   make-package.sh OUT.zip SETUP.exe [CONTENT_DIR] [BEHAVIOUR]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
out=$1 setup=$2 content=${3:-} behaviour=${4:-}
[ -f "$setup" ] || { echo "make-package: no setup program at $setup" >&2; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/Install"
cp "$setup" "$stage/Install/Firebird-2.1.3.18185_0_Win32.exe"
if [ -n "$content" ]; then cp -R "$content"/. "$stage/"; fi
if [ -n "$behaviour" ]; then printf '%s\n' "$behaviour" >"$stage/Install/fake-setup.txt"; fi
out_abs=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
rm -f "$out_abs" "$out_abs.sig"
(cd "$stage" && zip -q -r -X -9 "$out_abs" .)
sign_package "${TRAMELA_SIGNING_KEY:-}" "$out_abs" "${TRAMELA_PACKAGE_VERSION:-1}" >/dev/null
echo "$out_abs"
