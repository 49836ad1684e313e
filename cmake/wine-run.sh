#!/usr/bin/env bash
# Runs a Windows program under Wine in the build folder's own prefix.
# The prefix lives beside the program's build tree unless WINEPREFIX is set.
set -euo pipefail
exe=$1; shift
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$exe")" && pwd)
  export WINEPREFIX="$dir/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
unset DISPLAY_UNUSED 2>/dev/null || true
exec wine "$exe" "$@"
