#!/usr/bin/env bash
# Checks a Windows program or library as built: it imports nothing but system
# DLLs (no compiler runtime DLL travels with it), and a program is a GUI
# program with no console window.
#   check-imports.sh FILE.exe|FILE.dll...
set -uo pipefail
system_dlls='^(kernel32|user32|gdi32|msvcrt|advapi32|winmm|comctl32|shell32|ole32|ntdll)\.dll$'
status=0
for file in "$@"; do
    if [ ! -f "$file" ]; then
        echo "FAIL $file: not built"
        status=1
        continue
    fi
    dump=$(objdump -p "$file" 2>/dev/null || x86_64-w64-mingw32-objdump -p "$file")
    imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
    for dll in $imports; do
        if ! printf '%s\n' "$dll" | tr 'A-Z' 'a-z' | grep -qE "$system_dlls"; then
            echo "FAIL $file imports $dll, which is not a system DLL"
            status=1
        fi
    done
    case "$file" in
    *.exe)
        if ! grep -qE "^Subsystem[[:space:]]+00000002" <<< "$dump"; then
            echo "FAIL $file is not a Windows GUI program"
            status=1
        fi
        ;;
    esac
    echo "$file imports: $(echo $imports)"
done
exit $status
