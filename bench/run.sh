#!/usr/bin/env bash
# The timing benchmark: runs the real x86_64 program under wine64 with the
# simulated transceiver, drives it from outside and measures its timing from
# the simulator's record of the port traffic; then the host micro-benchmarks
# of the per-tick work.
#
#   bash bench/run.sh [BUILD_DIR]        (default: build-bench)
#
# Prints the table and writes docs/timing.md and docs/timing.png. The samples
# behind them stay in BUILD_DIR/bench-results. About two minutes once built
# (the first build of the Windows program takes longer). Needs gnuplot.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$(realpath -m "${1:-build-bench}")
results=$build/bench-results
state=$build/bench-wine
log=$build/bench-build.log
mkdir -p "$build" "$results"

say() { echo "bench: $*" >&2; }

command -v gnuplot >/dev/null || { say "gnuplot is missing (Debian package gnuplot-nox)"; exit 1; }

# Build: core_bench on the host, the driver with the program and io.dll in the
# x86_64 Windows build.
say "building in $build (log: $log)"
config=()
[ -f "$build/CMakeCache.txt" ] || config=(-DCMAKE_BUILD_TYPE=Release)
if ! {
    cmake -S . -B "$build" "${config[@]}"
    cmake --build "$build" --target core_bench -j"$(nproc)"
    if [ -f "$build/win64/CMakeCache.txt" ]; then
        cmake "$build/win64"
        cmake --build "$build/win64" --target timing_driver -j"$(nproc)"
    else
        cmake --build "$build" --target win64 -j"$(nproc)"
    fi
} >"$log" 2>&1; then
    tail -30 "$log"
    say "build failed"
    exit 1
fi

say "starting a Wine prefix and display of our own in $state"
bash tests/wine/wine-env.sh start "$state" >"$build/bench-wine.log" 2>&1 || {
    cat "$build/bench-wine.log"
    exit 1
}
trap 'bash "$root/tests/wine/wine-env.sh" stop "$state" >/dev/null 2>&1' EXIT

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
rm -f "$results"/*.csv "$results"/table.md
say "measuring the program (about 90 s)"
set +e
bash tests/wine/run.sh "$state" "$build/win64/bench/timing_driver.exe" \
    "$build/win64/bench/program/qd7150.exe" "$results" | tee "$results/driver.txt"
status=${PIPESTATUS[0]}
set -e
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
if [ "$status" -ne 0 ] || [ ! -s "$results/table.md" ]; then
    say "the driver could not measure the program (exit code $status)"
    exit 1
fi

say "host micro-benchmarks of the per-tick work"
"$build/bench/core_bench" --benchmark_min_time=0.2 2>/dev/null | tee "$results/core_bench.txt" >&2

# The page and the plot.
date=$(date -u +%Y-%m-%d)
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
wine_version=$(/usr/lib/wine/wine64 --version 2>/dev/null || wine64 --version)
gnuplot -e "dir='$results'; out='$root/docs/timing.png'; title='QD-7150 under Wine: timing measured $date'" \
    bench/timing.gp
missed=$(grep -c '\*\*fail\*\*' "$results/table.md" || true)
{
    echo "# Timing of the program under Wine"
    echo
    echo "Measured with \`bash bench/run.sh\` on $date: the real x86_64 program under"
    echo "wine64 with our simulated transceiver, driven from outside, timed from the"
    echo "simulator's record of the port traffic."
    echo
    echo "Machine: $(nproc) cores ($cpu), $wine_version, Linux $(uname -r)."
    echo "Load average (1, 5, 15 min) before the run: $load_before; after: $load_after."
    echo
    cat "$results/table.md"
    echo
    echo "Goals missed in this run: $missed."
    echo
    echo "![Tick periods, transmit-follow latencies and scan steps](timing.png)"
    echo
    cat bench/timing-notes.md
    echo
    echo "## Per-tick work of the core on the host"
    echo
    echo "\`build-bench/bench/core_bench\` (Google Benchmark), the core with do-nothing"
    echo "doubles in the seam: no port, no settle wait, no window. Times per call."
    echo
    echo '```'
    sed -n '/^-----/,$p' "$results/core_bench.txt"
    echo '```'
} >"$root/docs/timing.md"
say "wrote docs/timing.md and docs/timing.png ($missed goal(s) missed)"
