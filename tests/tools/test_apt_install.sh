#!/usr/bin/env bash
# The set-up's install step against a stand-in apt-get on PATH: no network, no
# root. The stand-in logs each call and fails `update` and `install` as the
# case asks, as a mirror caught mid-sync or a network fault does, in the
# language of a German machine unless told LC_ALL=C.
set -uo pipefail
script=$(realpath "$(dirname "$0")/../../tools/apt-install.sh")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
# It speaks the machine's language, German here, unless LC_ALL=C.
echo "$*" >>"$STUB_LOG"
say() { if [ "${LC_ALL:-}" = C ]; then echo "$1"; else echo "$2"; fi; }
case "$1" in
update)
    n=$(grep -c '^update' "$STUB_LOG")
    if [ "$n" -le "$UPDATE_FAILS" ]; then
        say "E: Failed to fetch http://deb.debian.org/debian-security/dists/x/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" \
            "E: Fehlschlag beim Holen von http://deb.debian.org/debian-security/dists/x/main/binary-i386/Packages.xz  Datei hat unerwartete Größe (374820 != 376004). Spiegelsynchronisation im Gange?"
        say "$UPDATE_LEVEL: Some index files failed to download. They have been ignored, or old ones used instead." \
            "$UPDATE_LEVEL: Einige Indexdateien konnten nicht heruntergeladen werden. Sie wurden ignoriert oder alte an ihrer Stelle benutzt."
        [ "$UPDATE_LEVEL" = W ] && exit 0  # ignored: only the message says so
        exit 100
    fi ;;
install)
    case "$INSTALL" in
    ok) ;;
    needs-release) [[ " $* " == *" -t $WANT_RELEASE "* ]] || {
        say "E: Unable to correct problems, you have held broken packages." \
            "E: Probleme können nicht korrigiert werden, Sie haben zurückgehaltene defekte Pakete."
        exit 100; } ;;
    cut-short)
        say "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine64_8.0~repack-4_amd64.deb  Connection timed out" \
            "E: Fehlschlag beim Holen von http://deb.debian.org/debian/pool/main/w/wine/wine64_8.0~repack-4_amd64.deb  Zeitüberschreitung der Verbindung"
        exit 100 ;;
    never) say "E: Unable to locate package $*" "E: Paket $* kann nicht gefunden werden."; exit 100 ;;
    esac ;;
esac
STUB
chmod +x "$work/bin/apt-get"
printf 'ID=debian\nVERSION_CODENAME=testrelease\n' >"$work/os-release"

failures=0
# run NAME UPDATE_FAILS INSTALL EXPECTED_STATUS [LEVEL]: the step's status and
# calls. A failed update exits 100 with "E:" lines, or 0 with "W:" lines when
# LEVEL is W (apt ignored the index: only its message tells).
run() {
    export STUB_LOG="$work/$1.log" UPDATE_FAILS=$2 INSTALL=$3 WANT_RELEASE=testrelease UPDATE_LEVEL=${5:-E}
    : >"$STUB_LOG"
    env -u LC_ALL LANG=de_DE.UTF-8 PATH="$work/bin:$PATH" APT_RETRY_PAUSE=0 QD_OS_RELEASE="$work/os-release" \
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

# The same when apt-get update exits 0 and says only in words, read in
# English whatever the machine's language, that it ignored the index.
run mid-sync-ignored 3 needs-release 0 W
expect_calls mid-sync-ignored "update -q" "update -q" "update -q" "$install" "$fallback"

# The index comes right at the third try: one install, no fallback.
run recovers 2 ok 0
expect_calls recovers "update -q" "update -q" "update -q" "$install"

# After a clean update, only apt's "held broken packages" calls for the
# release's own versions.
run held-broken 0 needs-release 0
expect_calls held-broken "update -q" "$install" "$fallback"
expect_output held-broken "(apt holds broken packages)"

# After a clean update, a download cut short stops the set-up: the release's
# own versions would be older ones, without their security updates.
run cut-short 0 cut-short 1
expect_calls cut-short "update -q" "$install"
expect_output cut-short "could not be installed"

# Packages that cannot be had at all stop the set-up too, and say so.
run unavailable 0 never 1
expect_calls unavailable "update -q" "$install"
expect_output unavailable "could not be installed"

[ $failures -eq 0 ] && echo "apt-install: retries, the release fallback only after left-out indexes or held broken packages, and real failures behave"
exit $((failures > 0))
