#!/usr/bin/env bash
# Runs a Windows program under Wine in the test environment of wine-env.sh.
#   run.sh STATE_DIR [--build win32|win64] [--cwd DIR] PROGRAM.exe [ARGS...]
# --build win32 runs an i686 program under the 32-bit loader, win64 (the
# default) an x86_64 one under wine64; both share the prefix and wineserver.
# Exits with the program's exit code, or with 77 ("skipped") when the program
# is an i686 one and this machine cannot run 32-bit programs.
set -uo pipefail
state=$1
shift
build=win64
cwd=""
while :; do
    case "${1:-}" in
    --build) build=$2; shift 2 ;;
    --cwd) cwd=$2; shift 2 ;;
    *) break ;;
    esac
done
export WINEPREFIX="$state/prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=$(cat "$state/display")
case "$build" in
win32)
    if [ -f "$state/no-wine32" ]; then
        echo "SKIPPED: this machine cannot run 32-bit Windows programs: $(cat "$state/no-wine32")"
        exit 77
    fi
    wine=$(cat "$state/wine32")
    ;;
win64)
    wine=/usr/lib/wine/wine64
    [ -x "$wine" ] || wine=$(command -v wine64)
    ;;
*)
    echo "run.sh: unknown build $build" >&2
    exit 2
    ;;
esac
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
