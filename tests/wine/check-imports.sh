#!/usr/bin/env bash
# Checks a Windows program or library as built: it imports nothing but system
# DLLs (no compiler runtime DLL travels with it), and a program is a GUI
# program with no console window.
#   check-imports.sh [--known-dlls] FILE.exe|FILE.dll...
# --known-dlls: what we ship imports only DLLs that are Known DLLs on every
# Windows from XP SP3 to 11, which the loader takes from the system folder
# alone, and msvcrt (a Known DLL from Vista on; the C runtime needs it). A DLL
# that is no Known DLL (winmm, comctl32, oleacc) is found by a search that
# looks in the program's folder first, where anyone may have put a DLL of that
# name: the program loads such DLLs at run time from the system folder. Only
# the imports are checked then (simctl.exe is a console program).
set -uo pipefail
system_dlls='^(kernel32|user32|gdi32|msvcrt|advapi32|winmm|comctl32|shell32|ole32|ntdll)\.dll$'
what="a system DLL"
gui=1
if [ "${1:-}" = --known-dlls ]; then
    shift
    system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|msvcrt)\.dll$'
    what="a Known DLL on every Windows from XP SP3 on, nor msvcrt"
    gui=0
fi
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
            echo "FAIL $file imports $dll, which is not $what"
            status=1
        fi
    done
    case "$gui:$file" in
    1:*.exe)
        if ! grep -qE "^Subsystem[[:space:]]+00000002" <<< "$dump"; then
            echo "FAIL $file is not a Windows GUI program"
            status=1
        fi
        ;;
    esac
    echo "$file imports: $(echo $imports)"
done
exit $status
