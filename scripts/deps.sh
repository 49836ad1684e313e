#!/usr/bin/env bash
# Installs what the build, the tests and the demo need, from Debian's packages.
# Idempotent: asks apt only for packages that are missing, and updates its lists once.
set -euo pipefail
packages=(
  cmake ninja-build g++ ccache pkg-config
  googletest libgtest-dev zlib1g-dev libstb-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64 xvfb xauth xdotool imagemagick
  clang libclang-rt-14-dev clang-format
  python3 nginx curl zip unzip libarchive-tools time tinyproxy-bin
  libssl-dev openssl
  locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  if [ "$(id -u)" != 0 ]; then echo "deps: run as root to install packages" >&2; exit 1; fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# The Czech locale for the tests of texts in the user's language: Wine takes
# its Windows locale from LANG only when glibc knows that locale.
if ! locale -a 2>/dev/null | grep -qx 'cs_CZ.utf8'; then
  if [ "$(id -u)" != 0 ]; then echo "deps: run as root to make the cs_CZ.UTF-8 locale" >&2; exit 1; fi
  echo "deps: making the cs_CZ.UTF-8 locale"
  localedef -i cs_CZ -f UTF-8 cs_CZ.UTF-8
fi
