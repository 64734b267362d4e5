#!/usr/bin/env bash
# Starts or stops the environment the Windows tests run in: a virtual X display
# of our own and a wine64 prefix under the build folder.
#   wine-env.sh start|stop STATE_DIR
set -uo pipefail
action=$1
state=$2
mkdir -p "$state"
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)

stop() {
    if [ -f "$state/display" ]; then
        DISPLAY=$(cat "$state/display") /usr/lib/wine/wineserver -k 2>/dev/null || wineserver -k 2>/dev/null
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display"
}

case "$action" in
start)
    stop
    # Xvfb picks a free display number and tells it through a pipe.
    exec 3> >(cat > "$state/displayfd")
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$state/xvfb.log" 2>&1 &
    echo $! > "$state/xvfb.pid"
    exec 3>&-
    for _ in $(seq 100); do
        [ -s "$state/displayfd" ] && break
        sleep 0.1
    done
    if [ ! -s "$state/displayfd" ]; then
        echo "Xvfb did not start:"; cat "$state/xvfb.log"; exit 1
    fi
    echo ":$(tr -d '\n' < "$state/displayfd")" > "$state/display"
    export DISPLAY=$(cat "$state/display")
    # The first start of a prefix takes about ten seconds.
    "$wine" wineboot -i >"$state/wineboot.log" 2>&1 </dev/null
    /usr/lib/wine/wineserver -w 2>/dev/null
    # Wine's own caption-button and dialog fonts, so title bars draw properly.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    for f in marlett.ttf tahoma.ttf tahomabd.ttf; do
        if [ -f "/usr/share/wine/fonts/$f" ]; then
            cp "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/"
        fi
    done
    echo "wine environment ready on display $DISPLAY, prefix $WINEPREFIX"
    ;;
stop)
    stop
    echo "wine environment stopped"
    ;;
*)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
