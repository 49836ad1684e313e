#!/usr/bin/env bash
# The main job: installs what is missing, builds the Windows exe and shows the
# installer at work under Wine, in a fresh prefix of its own, against a local
# distribution server (scripts/demo.sh).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
bash "$root/scripts/deps.sh"
export CCACHE_DIR=${CCACHE_DIR:-$root/build/ccache}
configure_and_build windows
prefix="$root/build/windows/wineprefix-run"
rm -rf "$prefix"
wine_env "$prefix"
wine_prefix_init
exec bash "$root/scripts/demo.sh"
