#!/usr/bin/env bash
# Runs every test: the core's unit tests (plain and sanitized), the soak and the
# fuzz corpus, and the Windows tests of both builds under Wine (win32.*: i686,
# the build we ship; win64.*: x86_64) on a virtual display of their own. Sets up
# and builds first (tools/setup.sh), so it works on a fresh machine.
# Where the kernel refuses 32-bit programs and the set-up registered an
# emulator for them, the i686 programs run many times slower: the first CTest
# run leaves out the emulated set (label i686-emulated) and reports the other
# i686 tests as skipped, and a second run, after it, runs that set alone.
# Ends with one line saying how the i686 build was tested.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
. tools/wine32.sh
qd_wine32_probe /usr/lib/wine/wine
jobs=$(nproc)
state=$PWD/build/wine
status=0
if [ "$QD_WINE32_MODE" != emulated ]; then
    ctest --test-dir build --output-on-failure -j"$jobs" || status=$?
    if [ -f $state/no-wine32 ]; then
        echo "test: the i686 build (win32.*) was not tested under Wine: $(cat $state/no-wine32)"
    else
        echo "test: the i686 build (win32.*) was tested natively, every test of it"
    fi
    exit $status
fi

# The prefix's 32-bit side takes minutes under emulation: it is made first, so
# that the first run's fixture finds it, and counted with the emulated set.
start=$(date +%s)
bash tests/wine/wine-env.sh start $state >$state/prefix.log 2>&1 || { cat $state/prefix.log; status=1; }
bash tests/wine/wine-env.sh stop $state >/dev/null 2>&1
prefix_s=$(($(date +%s) - start))
echo "test: the Wine prefix with its 32-bit side ready, under emulation, in ${prefix_s}s"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
ctest --test-dir build --output-on-failure -j"$jobs" -LE i686-emulated | tee "$log" || status=$?
start=$(date +%s)
emulated=0
ctest --test-dir build --output-on-failure -j"$jobs" -L i686-emulated || emulated=$?
emulated_s=$(($(date +%s) - start))
[ $emulated -eq 0 ] || status=$emulated

# What the first run skipped of the i686 build: the timing-dependent, then the rest.
labelled() {  # LABEL: the i686 tests that carry it
    ctest --test-dir build --show-only=json-v1 | python3 -c '
import json, sys
for t in json.load(sys.stdin)["tests"]:
    labels = next((p["value"] for p in t.get("properties", []) if p["name"] == "LABELS"), [])
    if sys.argv[1] in labels and t["name"].startswith("win32."):
        print(t["name"])' "$1" | sort
}
set_size=$(labelled i686-emulated | wc -l)
left=$(sed -n 's/^.*Test *#[0-9]*: \(win32\.[^ ]*\) .*\*\*\*Skipped.*$/\1/p' "$log" | sort)
left_timing=$(comm -12 <(echo "$left") <(labelled timing) | paste -sd, | sed 's/,/, /g')
others=$(comm -23 <(echo "$left") <(labelled timing) | grep -c . || true)
if [ $emulated -eq 0 ]; then
    result="its ${set_size} tests (label i686-emulated) passed"
else
    result="its ${set_size} tests (label i686-emulated) did NOT all pass (see above)"
fi
echo "test: the i686 build (win32.*) was tested under emulation ($QD_WINE32_EMULATOR):" \
    "$result, in $((prefix_s + emulated_s))s with its prefix; left out as timing-dependent: ${left_timing:-none};" \
    "left out as not in the set: $others more"
exit $status
