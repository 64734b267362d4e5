#!/usr/bin/env bash
# Sets up and builds everything (tools/setup.sh), then opens the control panel
# and the simulated transceiver's front panel under Wine: the i686 build, the
# one we ship, under the 32-bit loader (the x86_64 build under wine64 where
# this machine cannot run 32-bit programs), the program beside the simulator's
# io.dll in a folder of its own (build/demo).
# With a display: both windows open there, and the command returns when the
# program ends. With no display: both run on a virtual display of our own for a
# few seconds, a screenshot is saved to build/demo/screenshot.png, and both end.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh

demo=$(realpath -m build/demo)
state=$(realpath -m build/demo-wine)
mkdir -p "$demo"
export QD7150_SIM_NAME="Local\\QD7150SimDemo"
run() { tests/wine/run.sh "$state" --build "$build" --cwd "$demo" "$@"; }
# The prefix (and our display, when there is none) first: it tells which build can run.
choose_build() {
    build=win32
    if [ -f "$state/no-wine32" ]; then
        build=win64
        echo "This machine cannot run 32-bit programs ($(cat "$state/no-wine32")): showing the x86_64 build."
    fi
    cp "build/$build/ui/qd7150.exe" "build/$build/sim/io.dll" "build/$build/sim/qd7150-sim.exe" \
        "build/$build/sim/simctl.exe" "$demo/"
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    tests/wine/wine-env.sh prefix "$state" >/dev/null
    choose_build
    echo "Opening the simulated transceiver and the control panel on $DISPLAY (Wine prefix $state/prefix)."
    run "$demo/qd7150-sim.exe" --activity --at 640,0 >/dev/null 2>&1 &
    run "$demo/simctl.exe" wait-loads 0 5000 >/dev/null 2>&1 || true
    run "$demo/qd7150.exe" || true
    run "$demo/simctl.exe" release >/dev/null 2>&1 || true
    wait
    exit 0
fi

echo "No display here: running the control panel and the simulated transceiver on a virtual display."
tests/wine/wine-env.sh start "$state" >/dev/null
trap 'tests/wine/wine-env.sh stop "$state" >/dev/null' EXIT
export DISPLAY=$(cat "$state/display")
choose_build
# One Wine desktop window holds both, so the screenshot shows their title bars.
run explorer /desktop=demo,1030x330 "$demo/qd7150-sim.exe" --activity --at 620,0 >/dev/null 2>&1 &
for _ in $(seq 100); do
    run "$demo/simctl.exe" status >/dev/null 2>&1 && break
    sleep 0.2
done
run explorer /desktop=demo,1030x330 "$demo/qd7150.exe" >/dev/null 2>&1 &
run "$demo/simctl.exe" wait-loads 50 20000 >/dev/null 2>&1 || true
sleep 2
import -window root -crop 1030x330+0+0 +repage "$demo/screenshot.png"
run "$demo/simctl.exe" release >/dev/null 2>&1 || true
echo "Saved a screenshot to $demo/screenshot.png. With a display (DISPLAY set) this command opens both windows there."
