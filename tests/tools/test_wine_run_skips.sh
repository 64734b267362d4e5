#!/usr/bin/env bash
# Which i686 programs tests/wine/run.sh runs, against a Wine state of stand-ins
# (no Wine, no display): all where 32-bit programs run natively; where they
# run only under emulation, those of the emulated set alone, every other one
# skipped (77) with its reason, a test nobody placed in a set among them.
set -uo pipefail
run=$(realpath "$(dirname "$0")/../wine/run.sh")
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
echo :99 >"$state/display"
printf '#!/bin/sh\necho "ran $*"\n' >"$state/loader"
chmod +x "$state/loader"
echo "$state/loader" >"$state/wine32"

failures=0
expect() {  # CASE STATUS TEXT [VAR=VALUE...]: run.sh's status and output for a win32 program
    local out status
    out=$(env "${@:4}" bash "$run" "$state" --build win32 program.exe arg 2>&1)
    status=$?
    if [ $status -ne "$2" ] || [[ $out != *"$3"* ]]; then
        echo "FAIL $1: status $status, \"$out\"; expected $2 with \"$3\""; failures=$((failures + 1))
    fi
}

expect native 0 "ran program.exe arg"
expect native-timing 0 "ran program.exe arg" QD_WINE_TIMING=1

echo /usr/bin/qemu-i386 >"$state/wine32-emulated"
expect emulated-set 0 "ran program.exe arg" QD_WINE_EMULATED=1
expect emulated-timing 77 "assertions depend on timing" QD_WINE_TIMING=1
expect emulated-new-test 77 "not in the emulated set (CTest label i686-emulated)"

rm "$state/wine32-emulated" "$state/wine32"
echo "/usr/lib/wine/wine: cannot execute binary file: Exec format error" >"$state/no-wine32"
expect none 77 "cannot run 32-bit Windows programs: /usr/lib/wine/wine: cannot execute" QD_WINE_EMULATED=1

[ $failures -eq 0 ] && echo "run.sh: i686 programs run natively, the emulated set alone under emulation, the rest skipped with the reason"
exit $((failures > 0))
