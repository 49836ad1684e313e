#!/usr/bin/env bash
# Makes the zip fixtures in DIR with real tools (Info-ZIP zip, python's zipfile,
# bsdtar) and extracts each archive with unzip as the reference the component's
# output is compared with; hand-built archives come from fixtures.py.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: make-fixtures.sh DIR}
rm -rf "$out"
mkdir -p "$out/real" "$out/ref" "$out/hand"
tree=$out/tree
python3 "$here/fixtures.py" tree "$tree"

real=$out/real
(
  cd "$tree"
  zip -q -r -0 "$real/zip-stored.zip" .
  zip -q -r -1 "$real/zip-level1.zip" .
  zip -q -r -2 "$real/zip-level2.zip" .
  zip -q -r -6 "$real/zip-level6.zip" .
  zip -q -r -9 "$real/zip-level9.zip" .
  # Data descriptors forced, and written to a pipe (no seeking back).
  zip -q -r -fd "$real/zip-descriptors.zip" .
  zip -q -r - . | cat > "$real/zip-piped.zip"
  # Input from stdin: Zip64 placeholders in the local header; piped both ways
  # also gives Zip64 data descriptors.
  zip -q "$real/zip-stdin.zip" - < readme.txt
  zip -q - - < bin/random.bin | cat > "$real/zip-stdin-piped.zip"
  bsdtar -c -f "$real/bsdtar-deflated.zip" --format zip ./*
  bsdtar -c -f "$real/bsdtar-stored.zip" --format zip --options zip:compression=store ./*
  bsdtar -c -f - --format zip ./* | cat > "$real/bsdtar-piped.zip"
)
# A 1000-byte comment written by zip itself.
python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import fixtures; sys.stdout.buffer.write(fixtures.comment_of(1000))' \
  "$here" > "$real/zip-comment-1000.zip.comment"
cp "$real/zip-level6.zip" "$real/zip-comment-1000.zip"
zip -q -z "$real/zip-comment-1000.zip" < "$real/zip-comment-1000.zip.comment"
python3 "$here/fixtures.py" python "$real" "$tree"
# jar marks folders only by their trailing "/" (attributes 0); used where a
# JDK happens to be installed, never installed for this.
if command -v jar > /dev/null; then jar cfM "$real/jar.zip" -C "$tree" .; fi

for archive in "$real"/*.zip; do
  name=$(basename "$archive" .zip)
  mkdir -p "$out/ref/$name"
  unzip -q -o "$archive" -d "$out/ref/$name"
done

# Streaming writers cut off before their central directory: the recovery scan
# must walk the data descriptors. The second copy also loses its last bytes.
python3 "$here/fixtures.py" cut "$real/zip-piped.zip.cut" "$real/zip-piped.zip"
python3 "$here/fixtures.py" cut "$real/py-stream.zip.cut" "$real/py-stream.zip"
python3 "$here/fixtures.py" cut "$real/bsdtar-piped.zip.cut" "$real/bsdtar-piped.zip"
python3 "$here/fixtures.py" cut "$real/zip-stdin-piped.zip.cut" "$real/zip-stdin-piped.zip"
python3 "$here/fixtures.py" cut "$real/zip-piped.zip.cut-short" "$real/zip-piped.zip" 1000

python3 "$here/fixtures.py" handmade "$out/hand"
touch "$out/done"
