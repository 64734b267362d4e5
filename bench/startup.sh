#!/usr/bin/env bash
# The start-up benchmark: the program of an earlier commit and the program of
# the working tree, each beside the simulated io.dll, launched in turn under
# Wine (LAUNCHES times each, 10 by default) in one run; prints the median,
# minimum and maximum time from CreateProcess to the first port write of each.
#
#   bash bench/startup.sh OLD_COMMIT [LAUNCHES] [BUILD_DIR]   (default build-startup)
#
# The i686 build we ship where this machine runs 32-bit programs, else the
# x86_64 build under wine64 (and it says so). Both are built here with the
# win32 thread-model compilers, as shipped.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
old=${1:?usage: bench/startup.sh OLD_COMMIT [LAUNCHES] [BUILD_DIR]}
launches=${2:-10}
build=$(realpath -m "${3:-build-startup}")
say() { echo "startup: $*" >&2; }

arch=i686 wine=/usr/lib/wine/wine
if ! "$wine" --version >/dev/null 2>&1; then
    arch=x86_64 wine=/usr/lib/wine/wine64
    [ -x "$wine" ] || wine=$(command -v wine64)
    say "this machine cannot run 32-bit programs: timing the x86_64 build under wine64"
fi
mkdir -p "$build"
log=$build/build.log
: >"$log"

# build SOURCE_DIR NAME: the program and io.dll of one tree, in a folder of their own.
build_one() {
    local src=$1 name=$2
    cmake -S "$src" -B "$build/$name" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >>"$log" 2>&1
    cmake --build "$build/$name" --target qd7150 qdsim_io -j"$(nproc)" >>"$log" 2>&1
    mkdir -p "$build/run-$name"
    cp "$build/$name/ui/qd7150.exe" "$build/$name/sim/io.dll" "$build/run-$name/"
}

say "building $old and the working tree for $arch (log: $log)"
rm -rf "$build/old-src"
mkdir -p "$build/old-src"
git archive "$old" | tar -x -C "$build/old-src"
if ! { build_one "$build/old-src" old && build_one "$root" new &&
       cmake --build "$build/new" --target startup_driver -j"$(nproc)" >>"$log" 2>&1; }; then
    tail -30 "$log"
    say "build failed"
    exit 1
fi

state=$build/wine
say "starting a Wine prefix and display of our own in $state"
bash tests/wine/wine-env.sh start "$state" >"$build/wine.log" 2>&1 || { cat "$build/wine.log"; exit 1; }
trap 'bash "$root/tests/wine/wine-env.sh" stop "$state" >/dev/null 2>&1' EXIT
export WINEPREFIX=$state/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
DISPLAY=$(cat "$state/display")
export DISPLAY
echo "old: $(git rev-parse --short "$old"), new: the working tree at $(git rev-parse --short HEAD)$(git diff --quiet HEAD || echo ' with changes'); $arch"
"$wine" "$build/new/bench/startup_driver.exe" --launches "$launches" \
    "Z:${build//\//\\}\\run-old\\qd7150.exe" "Z:${build//\//\\}\\run-new\\qd7150.exe"
