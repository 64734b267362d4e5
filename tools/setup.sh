#!/usr/bin/env bash
# Installs what the project needs on a fresh Debian machine, the 32-bit Wine
# (wine32, architecture i386) that runs the i686 build beside wine64 among it,
# tells whether this machine can run 32-bit Windows programs (where its kernel
# refuses them, registers Debian's user-mode emulator for them), then
# configures and builds everything: the host tests and both Windows builds.
set -euo pipefail
cd "$(dirname "$0")/.."

# git: the Windows builds take the commit's time as SOURCE_DATE_EPOCH.
# locales and bindfs: tools/check-reproducible.sh rebuilds in another locale
# and on a folder that shows every file 0777, as a Windows drive does.
packages=(cmake git g++ make libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
          wine64 wine32:i386 fonts-wine fonts-dejavu-core xvfb xauth imagemagick x11-utils xdotool python3 gnuplot-nox
          locales bindfs)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
# wine32 is an i386 package: the architecture is added once.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture for wine32"
    $SUDO dpkg --add-architecture i386
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    # Retries the index update, and falls back on the release's own versions
    # when a mirror caught mid-sync leaves the architectures out of step.
    $SUDO bash tools/apt-install.sh "${missing[@]}" || {
        echo "setup: the packages could not be installed (see above); nothing was built" >&2
        exit 1
    }
fi

# Whether the kernel runs 32-bit programs is known only by running one: the
# wine32 loader itself is a 32-bit program (tools/wine32.sh). Where the kernel
# refuses it ("Exec format error": IA-32 emulation built out or turned off),
# Debian's user-mode emulator qemu-i386 (package qemu-user) is registered with
# the kernel's binfmt_misc for i386 programs, until the machine restarts, and
# the emulated set of i686 tests runs under it (tests/wine/CMakeLists.txt).
# qemu-user-binfmt and qemu-user-static would register some thirty other
# architectures and, on amd64, not i386. Where the loader runs natively, or
# cannot run for another reason, nothing is installed or registered. Without
# a 32-bit loader the i686 tests are skipped, and everything else still runs.
. tools/wine32.sh
qd_install_emulator() {
    $SUDO bash tools/apt-install.sh qemu-user >&2 || { echo "qemu-user could not be installed (see above)"; return 1; }
}
qd_register_emulator() { $SUDO bash tools/wine32.sh register "$1"; }
mkdir -p build/wine
qd_wine32_setup /usr/lib/wine/wine /usr/bin/qemu-i386 build/wine/no-emulator

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
