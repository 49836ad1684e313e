#!/usr/bin/env bash
# The installer exe must run on a bare Windows: it may import only DLLs that
# come with the system. Prints its imports and its size.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
exe=$root/build/windows/src/app/TramelaNamestitev.exe
[ -f "$exe" ] || { echo "missing $exe (build the windows preset first)"; exit 1; }
system_dlls='^(kernel32|user32|gdi32|comctl32|advapi32|shell32|ole32|oleaut32|msvcrt|wsock32|ws2_32|msimg32|uxtheme|comdlg32|version|shlwapi|winmm|imm32|bcrypt)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports: $(echo $imports)"
echo "size: $(stat -c %s "$exe") bytes"
bad=$(echo "$imports" | tr 'A-Z' 'a-z' | grep -vE "$system_dlls" || true)
if [ -n "$bad" ]; then echo "imports DLLs that Windows does not ship: $bad"; exit 1; fi
