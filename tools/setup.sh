#!/usr/bin/env bash
# Installs what the project needs on a fresh Debian machine, the 32-bit Wine
# (wine32, architecture i386) that runs the i686 build beside wine64 among it,
# tells whether this machine can run 32-bit Windows programs, then configures
# and builds everything: the host tests and both Windows builds.
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
# wine32 loader itself is a 32-bit program. Without it the i686 tests are
# skipped, and everything else still runs.
if out=$(/usr/lib/wine/wine --version 2>&1); then
    echo "setup: this machine runs 32-bit Windows programs ($out, /usr/lib/wine/wine): the i686 tests run"
else
    echo "setup: this machine cannot run 32-bit Windows programs (/usr/lib/wine/wine --version: ${out:-no output}): the i686 tests will be skipped"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
