#!/usr/bin/env bash
# tools/check-reproducible.sh ends at the first step of the rebuild that fails
# and names it. Run with a clone source that does not exist, it fails at the
# clone, naming the clone and its source, and nothing after the clone runs: no
# configuration, no build. It never gets as far as a build, so it takes a few
# seconds (the locale it compiles for the rebuild).
#   test_check_reproducible.sh SOURCE_DIR
set -euo pipefail
source=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# This machine's git configuration plays no part.
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=$tmp/no-gitconfig
touch "$tmp/no-gitconfig"

# A repository holding the check alone, committed, beside a "built" package:
# the check gets as far as the rebuild without this tree's build or its state.
repo=$tmp/repo
mkdir -p "$repo/tools" "$repo/build/package"
cp "$source/tools/check-reproducible.sh" "$repo/tools/"
echo "0000  qd7150-control-1.0-win32.zip" > "$repo/build/package/SHA256SUMS"
git -C "$repo" init --quiet
git -C "$repo" add tools
git -C "$repo" -c user.name=test -c user.email=test@localhost commit --quiet -m check

missing=$tmp/no-such-repository
status=0
TMPDIR=$tmp bash "$repo/tools/check-reproducible.sh" --from "$missing" > "$tmp/out" 2>&1 || status=$?

failures=()
[ $status -ne 0 ] || failures+=("the check passed")
grep -qF "check-reproducible: FAIL the clone of $missing into " "$tmp/out" ||
    failures+=("no line \"check-reproducible: FAIL the clone of $missing into ...\"")
# The steps after the clone say what they do (the count of CR LF files) or
# run CMake, whose messages would be in the end of the log shown.
if grep -qE 'CR LF line ends|CMake|cmake --build' "$tmp/out"; then
    failures+=("steps after the clone ran")
fi
if [ ${#failures[@]} -eq 0 ]; then
    echo "ok   a clone source that does not exist ends the check at the clone, named"
    exit 0
fi
for f in "${failures[@]}"; do
    echo "FAIL $f"
done
echo "the check exited $status, saying:"
sed 's/^/    /' "$tmp/out"
exit 1
