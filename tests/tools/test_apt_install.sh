#!/usr/bin/env bash
# The set-up's install step against a stand-in apt-get on PATH: no network, no
# root. The stand-in logs each call and fails `update` and `install` as the
# case asks, as a mirror caught mid-sync does.
set -uo pipefail
script=$(realpath "$(dirname "$0")/../../tools/apt-install.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$STUB_LOG"
case "$1" in
update)
    n=$(grep -c '^update' "$STUB_LOG")
    if [ "$n" -le "$UPDATE_FAILS" ]; then
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/x/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100
    fi ;;
install)
    case "$INSTALL" in
    ok) ;;
    needs-release) [[ " $* " == *" -t $WANT_RELEASE "* ]] || { echo "E: Unable to correct problems, you have held broken packages."; exit 100; } ;;
    never) echo "E: Unable to locate package $*"; exit 100 ;;
    esac ;;
esac
STUB
chmod +x "$work/bin/apt-get"
printf 'ID=debian\nVERSION_CODENAME=testrelease\n' >"$work/os-release"

failures=0
# run NAME UPDATE_FAILS INSTALL EXPECTED_STATUS: the step's status and calls.
run() {
    export STUB_LOG="$work/$1.log" UPDATE_FAILS=$2 INSTALL=$3 WANT_RELEASE=testrelease
    : >"$STUB_LOG"
    PATH="$work/bin:$PATH" APT_RETRY_PAUSE=0 QD_OS_RELEASE="$work/os-release" \
        bash "$script" wine64 wine32:i386 >"$work/$1.out" 2>&1
    local status=$?
    if [ $status -ne "$4" ]; then
        echo "FAIL $1: exit status $status, expected $4"; cat "$work/$1.out"; failures=$((failures + 1))
    fi
}
expect_calls() {  # NAME EXPECTED_CALLS...: the stand-in's calls, one a line
    local want
    want=$(printf '%s\n' "${@:2}")
    if [ "$(cat "$work/$1.log")" != "$want" ]; then
        echo "FAIL $1: apt-get was called as"; cat "$work/$1.log"; echo "expected"; echo "$want"
        failures=$((failures + 1))
    fi
}
expect_output() {  # NAME TEXT: the step said TEXT
    grep -qF -- "$2" "$work/$1.out" || { echo "FAIL $1: no \"$2\" in its output"; cat "$work/$1.out"; failures=$((failures + 1)); }
}
install="install -y -q --no-install-recommends wine64 wine32:i386"
fallback="install -y -q --no-install-recommends -t testrelease wine64 wine32:i386"

# The mirror syncs through all three tries, and only the release's own
# versions fit together: it goes on, then falls back with the codename.
run mid-sync 3 needs-release 0
expect_calls mid-sync "update -q" "update -q" "update -q" "$install" "$fallback"
expect_output mid-sync "still reports failed indexes after 3 tries"
expect_output mid-sync "installed with the release's own versions (-t testrelease)"

# The index comes right at the third try: one install, no fallback.
run recovers 2 ok 0
expect_calls recovers "update -q" "update -q" "update -q" "$install"

# Packages that cannot be had at all still stop the set-up, and say so.
run unavailable 0 never 1
expect_calls unavailable "update -q" "$install" "$fallback"
expect_output unavailable "could not be installed"

[ $failures -eq 0 ] && echo "apt-install: retries, the release fallback and a real failure behave"
exit $((failures > 0))
