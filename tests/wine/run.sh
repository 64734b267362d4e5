#!/usr/bin/env bash
# Runs a Windows program under wine64 in the test environment of wine-env.sh.
#   run.sh STATE_DIR [--cwd DIR] PROGRAM.exe [ARGS...]
# Exits with the program's exit code.
set -uo pipefail
state=$1
shift
cwd=""
if [ "${1:-}" = "--cwd" ]; then
    cwd=$2
    shift 2
fi
export WINEPREFIX="$state/prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=$(cat "$state/display")
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
[ -n "$cwd" ] && cd "$cwd"
# Wine may start background processes of its own along with the program; they
# must not hold the caller's output pipe open (CTest would wait for them), so
# the output goes through a file.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$wine" "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
exit $status
