#!/usr/bin/env bash
# cmake/SourceDate.cmake on a clone of this source tree that git refuses:
#   test_source_date_git.sh SOURCE_DIR CMAKE
# - a clone another user owns (nobody), configured as root: configuration
#   stops, quoting git's "dubious ownership" and naming both ways out;
# - the same clone with safe.directory in the global git configuration: the
#   commit's time; with SOURCE_DATE_EPOCH in the environment: that value;
# - a folder without .git inside the clone (an archive unpacked in another
#   repository): the fixed date, git not asked;
# - a folder inside the clone whose .git git cannot read: configuration stops,
#   it does not take the clone's commit above it.
# Only root can give the clone away: as anyone else the test is skipped (77).
set -euo pipefail
source=$1
cmake=$2
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root, to give a clone to another user (nobody)"
    exit 77
fi
if [ ! -e "$source/.git" ]; then
    echo "SKIP: $source is no git clone"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# This machine's git configuration plays no part, nor a SOURCE_DATE_EPOCH
# this test was started with.
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=$tmp/no-gitconfig
unset SOURCE_DATE_EPOCH
touch "$tmp/no-gitconfig"
printf '[safe]\n\tdirectory = %s\n' "$tmp/clone" > "$tmp/safe-gitconfig"

clone=$tmp/clone
git clone --quiet --no-checkout "$source" "$clone"
commit_time=$(git -C "$clone" log -1 --format=%ct)
mkdir -p "$clone/unpacked" "$clone/broken/.git"
chown -R nobody "$clone"

failures=0
# configure NAME FOLDER fail|pass TEXT...: SourceDate.cmake as the host
# build runs it, for the source tree FOLDER; its output must hold every TEXT.
configure() {
    local name=$1 folder=$2 expected=$3 status=0
    shift 3
    "$cmake" -DPROJECT_SOURCE_DIR="$folder" -DQD_SOURCE_DATE_CHECK_ONLY=ON \
        -P "$source/cmake/SourceDate.cmake" > "$tmp/out" 2>&1 || status=$?
    # CMake folds long lines of its messages: the texts are looked for in one.
    tr -s ' \n\t' '   ' < "$tmp/out" > "$tmp/flat"
    local ok=yes
    if [ "$expected" = fail ] && [ $status -eq 0 ]; then ok=no; fi
    if [ "$expected" = pass ] && [ $status -ne 0 ]; then ok=no; fi
    for text in "$@"; do
        grep -qF -- "$text" "$tmp/flat" || ok=no
    done
    if [ $ok = yes ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: expected cmake to $expected, saying: $*; it exited $status:"
        sed 's/^/    /' "$tmp/out"
        failures=$((failures + 1))
    fi
}

configure "a clone another user owns stops configuration" "$clone" fail \
    "detected dubious ownership in repository at '$clone'" \
    "git config --global --add safe.directory $clone" "give SOURCE_DATE_EPOCH by hand"
GIT_CONFIG_GLOBAL=$tmp/safe-gitconfig configure "the same clone as a safe.directory" "$clone" pass \
    "SOURCE_DATE_EPOCH $commit_time (the time of the commit checked out)"
SOURCE_DATE_EPOCH=1234567890 configure "the same clone with SOURCE_DATE_EPOCH given" "$clone" pass \
    "SOURCE_DATE_EPOCH 1234567890 (from the environment)"
configure "a folder without .git inside the clone" "$clone/unpacked" pass \
    "SOURCE_DATE_EPOCH 1796083200 (fixed: the source tree has no .git of its own)"
GIT_CONFIG_GLOBAL=$tmp/safe-gitconfig configure "a .git git cannot read, inside a clone it reads" \
    "$clone/broken" fail "not a git repository" "safe.directory $clone/broken"
exit $((failures > 0))
