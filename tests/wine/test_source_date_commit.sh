#!/usr/bin/env bash
# The package of a checkout carries the date of the commit checked out, also
# when the commit is new since the build was configured:
#   test_source_date_commit.sh SOURCE_DIR CMAKE CPACK
# In a clone of this source tree, the i686 build is configured as the host
# build configures it and packed as the host build packs it. Then, each after
# a new commit:
# - cpack alone, which configures the build again itself before it packs;
# - a build, then cpack: the configuration that cpack made still follows git.
# Each time, the package's SOURCE_DATE_EPOCH must be the new commit's time,
# and check_source_date.py must find it in every member of the ZIP and every
# binary, as linked and as packed. Only the i686 build is made, without the
# tests: the cost is one build of the shipped programs (and the benchmark
# drivers built beside them) and two relinks, about 30 s.
set -euo pipefail
source=$1
cmake=$2
cpack=$3
here=$(dirname "$(realpath "$0")")
if [ ! -e "$source/.git" ]; then
    echo "SKIP: $source is no git clone"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# This machine's git configuration plays no part, nor a SOURCE_DATE_EPOCH
# this test was started with.
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=$tmp/no-gitconfig
touch "$tmp/no-gitconfig"
unset SOURCE_DATE_EPOCH

clone=$tmp/clone
build=$clone/build/win32
git clone --quiet "$source" "$clone"
commit() {
    # A commit an hour after the one before: its time differs from every
    # earlier one, however fast the test runs.
    local last
    last=$(git -C "$clone" log -1 --format=%ct)
    GIT_COMMITTER_DATE="@$((last + 3600)) +0000" GIT_AUTHOR_DATE="@$((last + 3600)) +0000" \
        git -C "$clone" -c user.name=test -c user.email=test@localhost commit --quiet --allow-empty -m "$1"
}
# As the host build's windows-package target packs.
pack() {
    rm -rf "$clone/build/package"
    (cd "$build" && "$cpack" -G ZIP -B "$clone/build/package" >"$tmp/cpack.log" 2>&1) || {
        tail -20 "$tmp/cpack.log"
        echo "FAIL: cpack failed"
        exit 1
    }
    "$cmake" -DDIR="$clone/build/package" -DFILES=qd7150-control-1.0-win32.zip \
        -P "$clone/cmake/Sha256Sums.cmake"
}
failures=0
check() {
    local name=$1 expected
    expected=$(git -C "$clone" log -1 --format=%ct)
    local packed
    packed=$(sed -n 's/^set(CPACK_QD_SOURCE_DATE_EPOCH "\([0-9]*\)")$/\1/p' "$build/CPackConfig.cmake")
    if [ "$packed" = "$expected" ] &&
       python3 "$here/check_source_date.py" "$clone/build/package" "$build" >"$tmp/check.log" 2>&1; then
        echo "ok   $name: SOURCE_DATE_EPOCH $expected, the commit's time, in the ZIP and the binaries"
    else
        echo "FAIL $name: the commit's time is $expected, the build's SOURCE_DATE_EPOCH $packed:"
        sed 's/^/    /' "$tmp/check.log"
        failures=$((failures + 1))
    fi
}

# As cmake/CrossBuilds.cmake configures the i686 build.
"$cmake" -S "$clone" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$clone/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQD_SOURCE_DATE_EPOCH= >"$tmp/build.log" 2>&1 &&
    "$cmake" --build "$build" -j2 >>"$tmp/build.log" 2>&1 || {
    tail -20 "$tmp/build.log"
    echo "FAIL: the first build failed"
    exit 1
}
pack
check "built and packed"

commit "a new commit, packed by cpack alone"
pack
check "a new commit, cpack alone"

commit "another commit, built, then packed"
"$cmake" --build "$build" -j2 >>"$tmp/build.log" 2>&1 || {
    tail -20 "$tmp/build.log"
    echo "FAIL: the build after the second commit failed"
    exit 1
}
pack
check "another commit, built, then cpack"
exit $((failures > 0))
