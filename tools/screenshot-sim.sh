#!/usr/bin/env bash
# Takes a screenshot of the simulated transceiver's front panel: the i686
# qd7150-sim.exe under 32-bit Wine on a virtual display, inside a Wine desktop so
# that the window gets its title bar, tuned to 440 (145.700 MHz) with carriers
# on 436, 440 and 447. Writes docs/simulator.png.
#   screenshot-sim.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
simdir=$(realpath "$build/win32/sim")
state=$(realpath -m "$build/screenshot-sim")
out=docs/simulator.png
[ -x "$simdir/qd7150-sim.exe" ] || { echo "build first: $simdir/qd7150-sim.exe is missing" >&2; exit 1; }

tests/wine/wine-env.sh start "$state" >/dev/null
desktop_pid=""
cleanup() {
    tests/wine/run.sh "$state" --build win32 "$simdir/simctl.exe" release >/dev/null 2>&1 || true
    [ -n "$desktop_pid" ] && wait "$desktop_pid" 2>/dev/null
    tests/wine/wine-env.sh stop "$state" >/dev/null
}
trap cleanup EXIT
export DISPLAY=$(cat "$state/display")
[ -f "$state/no-wine32" ] && { echo "this machine cannot run 32-bit programs: $(cat "$state/no-wine32")" >&2; exit 1; }
# A simulator of its own, so that nothing else running can change the picture.
export QD7150_SIM_NAME="Local\\QD7150SimScreenshot-$$"

simctl() { tests/wine/run.sh "$state" --build win32 "$simdir/simctl.exe" "$@"; }

tests/wine/run.sh "$state" --build win32 explorer /desktop=sim,480x380 "$simdir/qd7150-sim.exe" \
    --carrier 436 --carrier 440 --carrier 447 >/dev/null 2>&1 &
desktop_pid=$!
for _ in $(seq 100); do
    simctl status >/dev/null 2>&1 && break
    sleep 0.2
done
simctl tune 440
simctl wait-channel 440

# The window's place and size on the virtual display, frame included.
geometry=""
for _ in $(seq 100); do
    geometry=$(xwininfo -root -tree | awk '/"QD-7150 simulator"/ { print $(NF-1), $NF; exit }')
    [ -n "$geometry" ] && break
    sleep 0.2
done
[ -n "$geometry" ] || { echo "the front panel did not appear" >&2; exit 1; }
size=${geometry%% *}          # WxH+x+y relative to its parent
size=${size%%+*}
pos=${geometry##* }           # +X+Y on the screen
sleep 1                       # a few refreshes of the panel
mkdir -p docs
import -window root -crop "${size}${pos}" +repage "$out"
echo "wrote $out ($size)"
