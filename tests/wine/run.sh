#!/usr/bin/env bash
# Runs a Windows program under Wine in the test environment of wine-env.sh.
#   run.sh STATE_DIR [--build win32|win64] [--isolated] [--cwd DIR] [--dll-overrides LIST]
#          PROGRAM.exe [ARGS...]
# --build win32 runs an i686 program under the 32-bit loader, win64 (the
# default) an x86_64 one under wine64; both share the prefix and wineserver.
# --isolated runs it in a copy of the prefix, on a display of its own, both
# gone when it ends: every test does, so that tests running side by side
# never meet (a second copy of the program would find the first one's claim
# on the port and end at once).
# --dll-overrides adds LIST to WINEDLLOVERRIDES ("winmm,comctl32=n,b": Wine
# prefers DLLs of those names found beside a program, as Windows does for a
# DLL that is not a Known DLL). Wine hands WINEDLLOVERRIDES to a program's
# children from its own start, whatever the program sets.
# Exits with the program's exit code, or with 77 ("skipped") when the program
# is an i686 one and this machine cannot run 32-bit programs, or runs them
# only under emulation (wine-env.sh) and the test is not one of the emulated
# set (tests/wine/CMakeLists.txt gives those QD_WINE_EMULATED=1, and those
# whose assertions depend on timing QD_WINE_TIMING=1, for the reason).
set -uo pipefail
state=$1
shift
build=win64
cwd=""
isolated=""
overrides=""
while :; do
    case "${1:-}" in
    --build) build=$2; shift 2 ;;
    --isolated) isolated=1; shift ;;
    --cwd) cwd=$2; shift 2 ;;
    --dll-overrides) overrides=";$2"; shift 2 ;;
    *) break ;;
    esac
done
here=$(dirname "$(realpath "$0")")
# Whether an i686 program runs here is known before any copy of the prefix.
if [ "$build" = win32 ]; then
    if [ -f "$state/no-wine32" ]; then
        echo "SKIPPED: this machine cannot run 32-bit Windows programs: $(cat "$state/no-wine32")"
        exit 77
    fi
    if [ -f "$state/wine32-emulated" ] && [ "${QD_WINE_EMULATED:-}" != 1 ]; then
        emulated="this machine runs 32-bit programs only under emulation ($(cat "$state/wine32-emulated")), many times slower"
        if [ "${QD_WINE_TIMING:-}" = 1 ]; then
            echo "SKIPPED: $emulated, and this test's assertions depend on timing, which means nothing there"
        else
            echo "SKIPPED: $emulated, and this test is not in the emulated set (CTest label i686-emulated)"
        fi
        exit 77
    fi
fi
out=$(mktemp)
own=""
finish() {
    rm -f "$out"
    if [ -n "$own" ]; then
        # Its wineserver and display take a moment to go; the test need not
        # wait for them (wine-env.sh stop of the whole state ends any left).
        setsid "$here/wine-env.sh" stop "$own" >/dev/null 2>&1 </dev/null &&
            rm -rf "$own" >/dev/null 2>&1 </dev/null &
    fi
}
trap finish EXIT
if [ -n "$isolated" ]; then
    own=$(mktemp -d "$state/run.XXXXXX")
    if ! "$here/wine-env.sh" copy "$state" "$own" >"$own/env.log" 2>&1; then
        echo "run.sh: no Wine environment of its own for this run:"
        cat "$own/env.log"
        exit 1
    fi
    state=$own
fi
export WINEPREFIX="$state/prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=$overrides"
export DISPLAY=$(cat "$state/display")
case "$build" in
win32)
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
"$wine" "$@" >"$out" 2>&1 </dev/null
status=$?
cat "$out"
exit $status
