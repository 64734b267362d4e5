#!/usr/bin/env bash
# The environment the Windows programs run in: a virtual X display of our own
# and a Wine prefix under the build folder, made by wine64 and used by both
# loaders (the 32-bit one for the i686 build), with Wine's own fonts.
#   wine-env.sh start STATE_DIR    a display of our own, then the prefix
#   wine-env.sh prefix STATE_DIR   the prefix only, on the display in DISPLAY
#   wine-env.sh stop STATE_DIR     ends the wineserver and our display
#   wine-env.sh copy STATE_DIR RUN_DIR
#                                  a display of its own and a copy of
#                                  STATE_DIR's prefix in RUN_DIR, for one test
#                                  (wine-env.sh stop RUN_DIR ends them)
# Whether this machine can run 32-bit programs is found by running the 32-bit
# loader (tools/wine32.sh): STATE_DIR/wine32 then names it for run.sh, and
# STATE_DIR/wine32-emulated the emulator when it runs only under one (a kernel
# that refuses 32-bit programs, with an emulator registered for them by
# tools/setup.sh); when it cannot run, STATE_DIR/no-wine32 holds the reason
# and run.sh skips the i686 programs.
set -uo pipefail
. "$(dirname "$(realpath "$0")")/../../tools/wine32.sh"
action=$1
state=$2
mkdir -p "$state"
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)

stop() {
    # Copies left by runs that were killed before they could end their own.
    local run
    for run in "$state"/run.*; do
        [ -d "$run" ] && "$0" stop "$run" >/dev/null && rm -rf "$run"
    done
    if [ -f "$state/display" ]; then
        DISPLAY=$(cat "$state/display") /usr/lib/wine/wineserver -k 2>/dev/null || wineserver -k 2>/dev/null
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display" "$state/wine32" "$state/wine32-emulated"
}

own_display=""  # set once we have started a display of our own

display() {
    own_display=1
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
}

prefix() {
    export DISPLAY=$(cat "$state/display")
    # The 32-bit loader (QD_WINE32_LOADER names another, to try a machine
    # without one).
    rm -f "$state/no-wine32" "$state/wine32" "$state/wine32-emulated"
    local wine32=${QD_WINE32_LOADER:-/usr/lib/wine/wine}
    qd_wine32_probe "$wine32"
    case $QD_WINE32_MODE in
    native | emulated)
        echo "$wine32" > "$state/wine32"
        [ "$QD_WINE32_MODE" = emulated ] && echo "$QD_WINE32_EMULATOR" > "$state/wine32-emulated"
        if [ -d "$WINEPREFIX/drive_c/windows" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/rundll32.exe" ]; then
            # A prefix made while the 32-bit loader could not run has an
            # empty 32-bit system folder, or none.
            echo "remaking $WINEPREFIX: its 32-bit system folder is empty"
            rm -rf "$WINEPREFIX"
        fi
        ;;
    refused)
        # tools/setup.sh leaves in STATE_DIR/no-emulator why it registered none.
        echo "$wine32 --version: $QD_WINE32_DETAIL, and no emulator is registered for i386 programs" \
            "($(cat "$state/no-emulator" 2>/dev/null || echo "tools/setup.sh registers one, as root"))" > "$state/no-wine32"
        ;;
    *)
        echo "$wine32 --version failed: $QD_WINE32_DETAIL (is wine32:i386 installed?)" > "$state/no-wine32"
        ;;
    esac
    # The first start of a prefix takes about ten seconds; where the 32-bit
    # loader runs under emulation, its 32-bit side takes minutes more.
    "$wine" wineboot -i >"$state/wineboot.log" 2>&1 </dev/null
    /usr/lib/wine/wineserver -w 2>/dev/null
    # Wine's own fonts (Debian's fonts-wine) in the prefix's font folder, where
    # the 32-bit and the 64-bit side both find them: the dialog font
    # "MS Sans Serif", Tahoma for captions, Marlett for the caption buttons.
    # Without them windows draw with other fonts and lose lines of text.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    if [ -f /usr/share/wine/fonts/ms_sans_serif.ttf ]; then
        cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
    else
        echo "warning: Wine's fonts are missing (package fonts-wine): windows will draw with other fonts"
    fi
    # Windows' Tahoma, the tooltips' font, has every glyph of the WGL4 set,
    # the arrows among them ("→" in the panel's tips); Wine's own Tahoma has
    # no arrows. Wine, as Windows, takes a glyph that a font lacks from the
    # fonts linked to it: DejaVu Sans (Debian's fonts-dejavu-core) joins them.
    # Done once for a prefix (its registry file then names the font).
    local links key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
    if ! grep -q 'DejaVuSans\.ttf,DejaVu Sans' "$WINEPREFIX/system.reg" 2>/dev/null; then
        links=$("$wine" reg query "$key" /v Tahoma 2>/dev/null </dev/null |
            sed -n 's/^ *Tahoma *REG_MULTI_SZ *//p' | tr -d '\r')
        "$wine" reg add "$key" /v Tahoma /t REG_MULTI_SZ /d "${links:+$links\\0}DejaVuSans.ttf,DejaVu Sans" /f \
            >/dev/null 2>&1 </dev/null
        /usr/lib/wine/wineserver -w 2>/dev/null
    fi
    # Our own displays have no window manager. Wine waits for one to confirm
    # every window it hides (a closed dialog, the main window at exit) and,
    # with none there, gives up only after about two seconds, during which
    # the program stands still: its ticks stop and the tests wait. Windows
    # has no such wait. On our displays the windows are unmanaged: Wine
    # itself places, shows and hides them at once. On an operator's own
    # display (tools/run.sh with DISPLAY set) its window manager manages them.
    local x11='HKCU\Software\Wine\X11 Driver' unmanaged=0
    grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null && unmanaged=1
    if [ -n "$own_display" ] && [ $unmanaged = 0 ]; then
        "$wine" reg add "$x11" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
        /usr/lib/wine/wineserver -w 2>/dev/null
    elif [ -z "$own_display" ] && [ $unmanaged = 1 ]; then
        "$wine" reg delete "$x11" /v Managed /f >/dev/null 2>&1 </dev/null
        /usr/lib/wine/wineserver -w 2>/dev/null
    fi
    echo "wine environment ready on display $DISPLAY, prefix $WINEPREFIX"
    if [ -f "$state/no-wine32" ]; then
        echo "32-bit programs cannot run here; the i686 programs will be skipped: $(cat "$state/no-wine32")"
    elif [ -f "$state/wine32-emulated" ]; then
        echo "32-bit programs run here only under emulation ($QD_WINE32_DETAIL under $(cat "$state/wine32-emulated")):" \
            "the i686 programs of the emulated set run, the others are skipped"
    else
        echo "32-bit programs run here ($QD_WINE32_DETAIL): the i686 programs run"
    fi
}

# A prefix has one wineserver, and with it one namespace of named objects:
# the program's claim on the port, the simulator's shared memory. A test that
# runs in a copy of the prefix, on a display of its own, meets no other test's
# objects, windows or focus. The copy is quick: Wine's program files are hard
# links to the template's, which nothing writes; every other file (the
# registry, which Wine rewrites in place, the .ini files) is copied.
copy() {
    local template=$1/prefix
    cp -al "$template" "$WINEPREFIX"
    (cd "$template" && find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
        -o -iname '*.fon' -o -iname '*.ttf' -o -iname '*.nls' -o -iname '*.mui' -o -iname '*.tlb' \
        -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.ax' -o -iname '*.ds' \
        -o -iname '*.com' -o -iname '*.vxd' -o -iname '*.mod' -o -iname '*.msstyles' \) -print0 |
        xargs -0 cp -p --parents --remove-destination -t "$WINEPREFIX")
    [ -f "$1/wine32" ] && cp "$1/wine32" "$state/"
    [ -f "$1/no-wine32" ] && cp "$1/no-wine32" "$state/"
    [ -f "$1/wine32-emulated" ] && cp "$1/wine32-emulated" "$state/"
    return 0
}

case "$action" in
copy)
    [ -d "$2/prefix" ] || { echo "wine-env.sh copy: no prefix in $2 (wine-env.sh start $2 first)" >&2; exit 1; }
    state=$3
    mkdir -p "$state"
    export WINEPREFIX="$state/prefix"
    display
    copy "$2"
    ;;
start)
    stop
    display
    prefix
    ;;
prefix)
    echo "$DISPLAY" > "$state/display"
    prefix
    ;;
stop)
    stop
    echo "wine environment stopped"
    ;;
*)
    echo "usage: $0 start|prefix|stop STATE_DIR, or $0 copy STATE_DIR RUN_DIR" >&2
    exit 2
    ;;
esac
