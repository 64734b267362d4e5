#!/usr/bin/env bash
# Takes a screenshot of the control panel as an operator sees it: the i686
# program, the one we ship, under 32-bit Wine on a virtual display, inside a Wine desktop window so
# that the dialog gets its title bar, with the pointer resting on "«" so that
# its tooltip shows. Writes docs/control-panel.png.
#   screenshot-panel.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe=$(realpath "$build/win32-tests/tests/win/startup/with-io/qd7150.exe")
state=$(realpath -m "$build/screenshot")
out=docs/control-panel.png

tests/wine/wine-env.sh start "$state" >/dev/null
trap 'tests/wine/wine-env.sh stop "$state" >/dev/null' EXIT
export DISPLAY=$(cat "$state/display")
[ -f "$state/no-wine32" ] && { echo "this machine cannot run 32-bit programs: $(cat "$state/no-wine32")" >&2; exit 1; }

# A Wine desktop just larger than the panel.
tests/wine/run.sh "$state" --build win32 explorer /desktop=panel,620x262 "$exe" >/dev/null 2>&1 &
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q '"panel' && break
    sleep 0.2
done
sleep 3
# The pointer on "«" (its place in the desktop), moved a little so that the
# tooltip control sees the mouse arrive and rest.
xdotool mousemove 36 88 && sleep 0.3 && xdotool mousemove 38 90
sleep 2
import -window root -crop 620x262+0+0 +repage "$out"
echo "wrote $out"
