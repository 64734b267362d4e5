#!/usr/bin/env bash
# How the set-up finds the 32-bit loader runs (tools/wine32.sh), against
# stand-ins: loaders that answer as a native one, as one the kernel refuses
# (an executable the kernel cannot load) or as a missing one; a binfmt_misc
# folder with the kernel's entries in it; mount, the package install and the
# registration. No root, no emulator, nothing registered on this machine.
set -uo pipefail
lib=$(realpath "$(dirname "$0")/../../tools/wine32.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$lib"

printf '#!/bin/sh\necho "wine-8.0 (Debian 8.0~repack-4)"\n' >"$work/native"
# An ELF header the kernel's loader rejects, as it rejects every 32-bit
# program without IA-32 emulation: "Exec format error". Its machine (0xbeef)
# is none that an emulator registered on this machine would take.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\357\276garbage' >"$work/refused"
printf '#!/bin/sh\necho "emulated" >/dev/null\n' >"$work/qemu-i386"
chmod +x "$work/native" "$work/refused" "$work/qemu-i386"

# entry DIR NAME STATE MAGIC: a binfmt_misc entry as the kernel shows it.
entry() {
    printf '%s\ninterpreter /usr/bin/qemu-%s\nflags: F\noffset 0\nmagic %s\nmask %s\n' \
        "$3" "$2" "$4" fffffffffffefe00fffffffffffffffffeffffff >"$1/qemu-$2"
}
i386=7f454c4601010100000000000000000002000300
arm=7f454c4601010100000000000000000002002800
binfmt() {  # a fresh binfmt_misc folder: status, register and the entries asked for
    local dir=$work/binfmt.$1
    mkdir -p "$dir"
    echo "${2:-enabled}" >"$dir/status"
    : >"$dir/register"
    echo "$dir"
}

failures=0
expect() {  # CASE MODE [TEXT]: the last probe's mode, and TEXT in its detail
    if [ "$QD_WINE32_MODE" != "$2" ] || [[ $QD_WINE32_DETAIL != *"${3:-}"* ]]; then
        echo "FAIL $1: $QD_WINE32_MODE ($QD_WINE32_DETAIL), expected $2${3:+ with \"$3\"}"
        failures=$((failures + 1))
    fi
}

# The loader runs, and nothing stands between: native.
QD_BINFMT_DIR=$(binfmt plain) qd_wine32_probe "$work/native"
expect native native "wine-8.0"

# An enabled i386 entry takes every 32-bit program before the kernel's own
# loader does: emulated, whatever the kernel could do.
dir=$(binfmt emulated)
entry "$dir" i386 enabled $i386
QD_BINFMT_DIR=$dir qd_wine32_probe "$work/native"
expect emulated emulated "wine-8.0"
[ "$QD_WINE32_EMULATOR" = /usr/bin/qemu-i386 ] || { echo "FAIL emulated: emulator \"$QD_WINE32_EMULATOR\""; failures=$((failures + 1)); }

# Another architecture's entry, a disabled i386 one, or binfmt_misc turned
# off as a whole do not make it emulated.
dir=$(binfmt others)
entry "$dir" arm enabled $arm
entry "$dir" i386 disabled $i386
QD_BINFMT_DIR=$dir qd_wine32_probe "$work/native"
expect others native
dir=$(binfmt off disabled)
entry "$dir" i386 enabled $i386
QD_BINFMT_DIR=$dir qd_wine32_probe "$work/native"
expect binfmt-off native

# The kernel's refusal, and a loader that is not there.
QD_BINFMT_DIR=$(binfmt plain) qd_wine32_probe "$work/refused"
expect refused refused "Exec format error"
QD_BINFMT_DIR=$(binfmt plain) qd_wine32_probe "$work/missing"
expect missing none "No such file"

# The registration: binfmt_misc mounted where it is not, then the kernel's
# pattern for i386 programs and the emulator, flag F.
mkdir -p "$work/bin" "$work/unmounted"
cat >"$work/bin/mount" <<'STUB'
#!/bin/sh
echo "$*" >"$MOUNT_LOG"
[ -n "${MOUNT_FAILS:-}" ] && { echo "mount: $4: permission denied."; exit 32; }
: >"$4/register"
STUB
chmod +x "$work/bin/mount"
export MOUNT_LOG=$work/mount.log
want=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$work/qemu-i386:F"
if ! out=$(PATH="$work/bin:$PATH" QD_BINFMT_DIR=$work/unmounted qd_register_i386 "$work/qemu-i386"); then
    echo "FAIL register: $out"; failures=$((failures + 1))
fi
[ "$(cat "$MOUNT_LOG" 2>/dev/null)" = "-t binfmt_misc binfmt_misc $work/unmounted" ] ||
    { echo "FAIL register: mount called as \"$(cat "$MOUNT_LOG" 2>/dev/null)\""; failures=$((failures + 1)); }
[ "$(cat "$work/unmounted/register")" = "$want" ] ||
    { echo "FAIL register: wrote \"$(cat "$work/unmounted/register")\""; failures=$((failures + 1)); }

# Refused: binfmt_misc cannot be mounted, or the kernel takes no entry. Each says why.
rm -rf "$work/unmounted" && mkdir "$work/unmounted"
out=$(PATH="$work/bin:$PATH" MOUNT_FAILS=1 QD_BINFMT_DIR=$work/unmounted qd_register_i386 "$work/qemu-i386") &&
    { echo "FAIL no-mount: registered"; failures=$((failures + 1)); }
[[ $out == *"binfmt_misc could not be mounted"*"permission denied"* ]] || { echo "FAIL no-mount: \"$out\""; failures=$((failures + 1)); }
mkdir -p "$work/refusing" && mkdir "$work/refusing/register"  # writing to it fails
out=$(QD_BINFMT_DIR=$work/refusing qd_register_i386 "$work/qemu-i386") &&
    { echo "FAIL no-register: registered"; failures=$((failures + 1)); }
[[ $out == *"the kernel refused the registration"* ]] || { echo "FAIL no-register: \"$out\""; failures=$((failures + 1)); }

# The set-up's step: the emulator is installed and registered only where the
# kernel refuses the loader; the stand-in registration makes the loader run.
qd_install_emulator() { echo install >>"$work/calls"; }
qd_register_emulator() {
    echo "register $1" >>"$work/calls"
    if [ -n "${REGISTER_REFUSED:-}" ]; then echo "the kernel refused the registration: Permission denied"; return 1; fi
    entry "$QD_BINFMT_DIR" i386 enabled $i386
    cp "$work/native" "$loader"
}
setup_case() {  # NAME LOADER_KIND EXPECTED_CALLS EXPECTED_TEXT
    loader=$work/loader.$1
    [ "$2" = missing ] || cp "$work/$2" "$loader"
    : >"$work/calls"
    out=$(QD_BINFMT_DIR=$(binfmt "setup.$1") qd_wine32_setup "$loader" "$work/qemu-i386" "$work/reason.$1")
    if [ "$(tr '\n' ';' <"$work/calls")" != "$3" ]; then
        echo "FAIL setup $1: calls \"$(tr '\n' ';' <"$work/calls")\", expected \"$3\""; failures=$((failures + 1))
    fi
    if [[ $out != setup:*"$4"* ]] || [ "$(wc -l <<<"$out")" -ne 1 ]; then
        echo "FAIL setup $1: said \"$out\""; failures=$((failures + 1))
    fi
}
setup_case native native "" "natively"
setup_case missing missing "" "cannot run 32-bit Windows programs"
setup_case refused refused "register $work/qemu-i386;" "registered the user-mode emulator $work/qemu-i386"
REGISTER_REFUSED=1 setup_case no-root refused "register $work/qemu-i386;" "no emulator could be registered for them: the kernel refused the registration: Permission denied; the i686 tests will be skipped"
[ "$(cat "$work/reason.no-root" 2>/dev/null)" = "the kernel refused the registration: Permission denied" ] ||
    { echo "FAIL setup no-root: reason file \"$(cat "$work/reason.no-root" 2>/dev/null)\""; failures=$((failures + 1)); }
rm "$work/qemu-i386"  # not installed yet: installed first
setup_case to-install refused "install;register $work/qemu-i386;" "registered the user-mode emulator"

[ $failures -eq 0 ] && echo "wine32: native, emulated, refused and missing told apart; the emulator registered only where refused"
exit $((failures > 0))
