#!/usr/bin/env bash
# The installer exe runs elevated from a folder others can write to: it may
# import statically only KnownDLLs, which Windows maps from its own copies
# whatever lies beside the program. Every other module is loaded at run time
# from the system folder. Prints its imports and its size.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
exe=$root/build/windows/src/app/TramelaNamestitev.exe
[ -f "$exe" ] || { echo "missing $exe (build the windows preset first)"; exit 1; }
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports: $(echo $imports)"
echo "size: $(stat -c %s "$exe") bytes"
bad=$(echo "$imports" | tr 'A-Z' 'a-z' | grep -vE "$known_dlls" || true)
if [ -n "$bad" ]; then echo "imports DLLs that are no KnownDLLs: $(echo $bad)"; exit 1; fi
