#!/usr/bin/env bash
# The main job: installs what is missing, builds both configurations and runs
# the Windows programs under Wine in a fresh prefix of their own.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$root/scripts/deps.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
configure_and_build native
configure_and_build windows
prefix="$root/build/windows/wineprefix-run"
rm -rf "$prefix"
wine_env "$prefix"
wine_prefix_init
if [ -x "$root/scripts/demo.sh" ]; then
  exec bash "$root/scripts/demo.sh"
fi
echo "== winver.exe under Wine"
wine "$root/build/windows/tools/winver/winver.exe"
