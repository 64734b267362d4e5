#!/usr/bin/env bash
# Installs Debian packages, getting through a package mirror caught mid-sync.
#   apt-install.sh PACKAGE...        (as root: tools/setup.sh runs it with sudo)
# - `apt-get update` is tried a few times with a short pause; indexes that
#   still fail (one architecture's index of a suite whose mirror is syncing,
#   say) are reported and left out.
# - With such an index missing, the other architecture may offer newer
#   versions than the one left out, and packages that must have one version
#   on both (wine32:i386 beside wine64) are then "held broken". So when the
#   install fails after an update that left indexes out, or apt says it holds
#   broken packages, it is tried once more preferring the release's own
#   versions (-t CODENAME, the codename from /etc/os-release).
# - Any other failed install (a download cut short, a package that does not
#   exist) stops it, with what apt said: after a clean update the release's
#   own versions would be older ones, without their security updates.
# apt runs with LC_ALL=C: its messages, which decide the retries, are the
# English ones whatever the machine's language.
# APT_RETRY_PAUSE (seconds between tries of update, 10 unless set) and
# QD_OS_RELEASE (the os-release file to read) are for its test.
set -uo pipefail
[ $# -gt 0 ] || { echo "apt-install: no packages given" >&2; exit 2; }
pause=${APT_RETRY_PAUSE:-10}
os_release=${QD_OS_RELEASE:-/etc/os-release}
export DEBIAN_FRONTEND=noninteractive LC_ALL=C

updated=""
for try in 1 2 3; do
    # apt-get update exits 0 even when it ignored an index it could not
    # fetch; its "E:"/"W:" lines say so. Both cases count as failed here.
    log=$(apt-get update -q 2>&1)
    status=$?
    printf '%s\n' "$log"
    if [ $status -eq 0 ] && ! grep -qE '^(E|W): (Failed to fetch|Some index files failed)' <<<"$log"; then
        updated=1
        break
    fi
    if [ $try -lt 3 ]; then
        echo "apt-install: apt-get update failed (try $try of 3); trying again in ${pause}s"
        sleep "$pause"
    fi
done
if [ -z "$updated" ]; then
    echo "apt-install: apt-get update still reports failed indexes after 3 tries; going on with the indexes it has"
fi

# The install's output is shown as it comes, and kept to be read.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt-get install -y -q --no-install-recommends "$@" 2>&1 | tee "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] && exit 0

if [ -n "$updated" ] && ! grep -q 'held broken packages' "$log"; then
    echo "apt-install: the packages could not be installed (see apt's messages above): $*" >&2
    exit 1
fi
codename=$( (. "$os_release" 2>/dev/null && echo "${VERSION_CODENAME:-}") )
if [ -z "$codename" ]; then
    echo "apt-install: the install failed, and $os_release names no release codename to fall back on" >&2
    exit 1
fi
if [ -n "$updated" ]; then
    why="apt holds broken packages"
else
    why="indexes were left out"
fi
echo "apt-install: the install failed ($why); installing again preferring the release's own versions (-t $codename)"
if apt-get install -y -q --no-install-recommends -t "$codename" "$@"; then
    echo "apt-install: installed with the release's own versions (-t $codename)"
    exit 0
fi
echo "apt-install: the packages could not be installed, neither as offered nor from the release $codename: $*" >&2
exit 1
