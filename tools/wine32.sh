#!/usr/bin/env bash
# How this machine runs the 32-bit Wine loader, and with it the i686 build we
# ship: natively, under a user-mode emulator registered with the kernel for
# i386 programs, or not at all. Sourced by tools/setup.sh and
# tests/wine/wine-env.sh; run as `wine32.sh register EMULATOR` (as root) it
# registers the emulator.
#
# The kernel alone knows whether it runs 32-bit programs: a kernel built
# without IA-32 emulation, or with it turned off at boot, refuses them with
# "Exec format error". binfmt_misc hands a program whose first bytes match a
# registered pattern to that entry's interpreter before the kernel's own ELF
# loader sees it, so with an emulator registered for i386 every 32-bit
# program runs under it, whatever the kernel could do itself.
# QD_BINFMT_DIR (/proc/sys/fs/binfmt_misc unless set) is for the tests.

qd_binfmt_dir() { echo "${QD_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}"; }

# The i386 ELF pattern: 32-bit, little-endian, an executable or a shared
# object (e_type 2 or 3), machine 3. The same as QEMU's own.
QD_I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
QD_I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# qd_i386_emulator: prints the interpreter of an enabled binfmt_misc entry
# that takes i386 programs; fails when there is none.
qd_i386_emulator() {
    local dir entry magic
    dir=$(qd_binfmt_dir)
    [ -f "$dir/status" ] && [ "$(cat "$dir/status")" != enabled ] && return 1
    for entry in "$dir"/*; do
        case ${entry##*/} in register | status) continue ;; esac
        [ -f "$entry" ] && [ "$(head -n 1 "$entry")" = enabled ] || continue
        grep -qx 'offset 0' "$entry" || continue
        magic=$(sed -n 's/^magic //p' "$entry")
        # "\x7fELF", class 1 (32-bit), data 1 (little-endian); e_machine at byte 18.
        if [[ $magic == 7f454c460101* && ${magic:36:4} == 0300 ]]; then
            sed -n 's/^interpreter //p' "$entry"
            return 0
        fi
    done
    return 1
}

# qd_wine32_decide STATUS OUTPUT EMULATOR: the mode, from the exit status and
# output of `LOADER --version` and the emulator registered for i386 programs
# (empty for none). Sets QD_WINE32_MODE to
#   native    the loader ran and no emulator stands between: every i686 test runs
#   emulated  the loader ran under EMULATOR
#   refused   the kernel refused the loader: an emulator would run it
#   none      the loader cannot run for another reason (not installed, say)
# and QD_WINE32_DETAIL to the loader's answer (its first line).
qd_wine32_decide() {
    local status=$1 output=$2 emulator=$3
    QD_WINE32_DETAIL=${output%%$'\n'*}
    # The shell's own "SCRIPT: line N: " before its message says nothing.
    [[ $QD_WINE32_DETAIL =~ ^[^:]*:\ line\ [0-9]+:\ (.*)$ ]] && QD_WINE32_DETAIL=${BASH_REMATCH[1]}
    if [ "$status" -eq 0 ]; then
        if [ -n "$emulator" ]; then QD_WINE32_MODE=emulated; else QD_WINE32_MODE=native; fi
    elif [[ $output == *"Exec format error"* ]]; then
        QD_WINE32_MODE=refused
    else
        QD_WINE32_MODE=none
    fi
}

# qd_wine32_probe LOADER: runs the loader and decides, as qd_wine32_decide;
# QD_WINE32_EMULATOR names the emulator, if any.
qd_wine32_probe() {
    local out status=0
    out=$("$1" --version 2>&1) || status=$?
    QD_WINE32_EMULATOR=$(qd_i386_emulator) || QD_WINE32_EMULATOR=""
    qd_wine32_decide "$status" "${out:-no output}" "$QD_WINE32_EMULATOR"
}

# qd_register_i386 EMULATOR: registers EMULATOR for i386 programs, mounting
# binfmt_misc first where it is not. Needs root. On failure, prints why.
# The entry lasts until the machine restarts (tools/setup.sh makes it again);
# flag F: the kernel opens the emulator now, so that it is found also from
# another mount namespace or a chroot.
qd_register_i386() {
    local emulator=$1 dir out
    dir=$(qd_binfmt_dir)
    [ -x "$emulator" ] || { echo "the emulator $emulator is not installed"; return 1; }
    if [ ! -e "$dir/register" ]; then
        out=$(mount -t binfmt_misc binfmt_misc "$dir" 2>&1) ||
            { echo "binfmt_misc could not be mounted on $dir: $out"; return 1; }
    fi
    # An entry of this name left disabled, or naming another emulator, goes first.
    if [ -e "$dir/qemu-i386" ]; then
        out=$( (echo -1 >"$dir/qemu-i386") 2>&1) ||
            { echo "the old entry $dir/qemu-i386 could not be removed: $out"; return 1; }
    fi
    out=$( (printf ':qemu-i386:M::%s:%s:%s:F' "$QD_I386_MAGIC" "$QD_I386_MASK" "$emulator" >"$dir/register") 2>&1) ||
        { echo "the kernel refused the registration in $dir/register: ${out##*: }"; return 1; }
}

# qd_wine32_setup LOADER EMULATOR REASON_FILE: the set-up's step. Where the
# kernel refuses LOADER, installs the emulator and registers it (through the
# caller's qd_install_emulator and qd_register_emulator EMULATOR, which print
# why when they fail), and leaves in REASON_FILE why none could be; anywhere
# else it changes nothing. Prints one line saying how the i686 build runs.
qd_wine32_setup() {
    local loader=$1 emulator=$2 reason_file=$3 refusal why=""
    rm -f "$reason_file"
    qd_wine32_probe "$loader"
    case $QD_WINE32_MODE in
    native)
        echo "setup: this machine runs 32-bit Windows programs natively ($QD_WINE32_DETAIL, $loader): every i686 test runs"
        return ;;
    emulated)
        echo "setup: this machine runs 32-bit programs under the emulator $QD_WINE32_EMULATOR, registered for i386 programs ($QD_WINE32_DETAIL, $loader): the i686 tests labelled i686-emulated run under it, the others are skipped"
        return ;;
    none)
        echo "setup: this machine cannot run 32-bit Windows programs ($loader --version: $QD_WINE32_DETAIL): the i686 tests will be skipped"
        return ;;
    esac
    refusal=$QD_WINE32_DETAIL
    if [ -x "$emulator" ] || why=$(qd_install_emulator); then
        why=$(qd_register_emulator "$emulator" 2>&1) && qd_wine32_probe "$loader"
    fi
    if [ "$QD_WINE32_MODE" = emulated ]; then
        echo "setup: the kernel refuses 32-bit programs ($refusal): registered the user-mode emulator $emulator for i386 programs, until the machine restarts; the i686 tests labelled i686-emulated run under it, the others are skipped"
    else
        [ -n "$why" ] || why="$loader --version under it answers: $QD_WINE32_DETAIL"
        echo "${why%%$'\n'*}" > "$reason_file"
        echo "setup: the kernel refuses 32-bit programs ($refusal), and no emulator could be registered for them: $(cat "$reason_file"); the i686 tests will be skipped"
    fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    case "${1:-}" in
    register) qd_register_i386 "$2" ;;
    *) echo "usage: $0 register EMULATOR" >&2; exit 2 ;;
    esac
fi
