#!/usr/bin/env bash
# Fails when clang-format, with the project's .clang-format, would change a C++ source.
set -uo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$root" || exit 1
mapfile -t files < <(find src tests tools fuzz bench \( -name '*.cpp' -o -name '*.h' -o -name '*.inl' \) -type f | sort)
changed=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "format: clang-format would change $f"
    changed=$((changed + 1))
  fi
done
echo "format: ${#files[@]} files checked, $changed would change"
[ "$changed" = 0 ]
