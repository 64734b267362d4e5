#!/usr/bin/env bash
# The timing benchmark: runs the real program of each Windows build under Wine
# with the simulated transceiver, one after the other on this machine (the
# i686 build we ship under the 32-bit loader, then the x86_64 build under
# wine64), drives it from outside and measures its timing from the
# simulator's record of the port traffic; then the host micro-benchmarks of the
# per-tick work.
#
#   bash bench/run.sh [BUILD_DIR]        (default: build-bench)
#   bash bench/run.sh --holds RUNS [BUILD_DIR]
#
# Prints the tables and writes docs/timing.md (both builds side by side) and
# docs/timing.png. The samples behind them stay in BUILD_DIR/bench-results/
# win32 and win64. About four minutes once built (the first build of the
# Windows programs takes longer). Needs gnuplot.
#
# With --holds, it measures only the holds, RUNS times in a row for each build
# (about 20 s a run), prints each hold against the time on its channel, and
# writes nothing into docs/; exit code 1 when a run failed or a hold differs
# from the time on the channel, less the first 60 ms dwell, by more than 1 %.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
hold_runs=0
if [ "${1:-}" = --holds ]; then
    hold_runs=${2:-}
    [[ "$hold_runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: bash bench/run.sh --holds RUNS [BUILD_DIR]" >&2; exit 2; }
    shift 2
fi
build=$(realpath -m "${1:-build-bench}")
results=$build/bench-results
state=$build/bench-wine
log=$build/bench-build.log
mkdir -p "$build" "$results"

say() { echo "bench: $*" >&2; }

[ "$hold_runs" -gt 0 ] || command -v gnuplot >/dev/null || {
    say "gnuplot is missing (Debian package gnuplot-nox)"
    exit 1
}

# Build: core_bench on the host, the driver with the program and io.dll in
# either Windows build.
builds=(win32 win64)
say "building in $build (log: $log)"
config=()
[ -f "$build/CMakeCache.txt" ] || config=(-DCMAKE_BUILD_TYPE=Release)
if ! {
    cmake -S . -B "$build" "${config[@]}"
    cmake --build "$build" --target core_bench -j"$(nproc)"
    for b in "${builds[@]}"; do
        if [ -f "$build/$b/CMakeCache.txt" ]; then
            cmake "$build/$b"
            cmake --build "$build/$b" --target timing_driver -j"$(nproc)"
        else
            cmake --build "$build" --target "$b" -j"$(nproc)"
        fi
    done
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
if [ -f "$state/no-wine32" ]; then
    say "this machine cannot run 32-bit programs, so the i686 build we ship cannot be timed: $(cat "$state/no-wine32")"
    exit 1
fi

# The holds alone: every hold of every run, against the time on its channel.
if [ "$hold_runs" -gt 0 ]; then
    bad=0
    for b in "${builds[@]}"; do
        for run in $(seq "$hold_runs"); do
            out=$results/holds/$b/run$run
            rm -rf "$out"
            mkdir -p "$out"
            if ! bash tests/wine/run.sh "$state" --build "$b" "$build/$b/bench/timing_driver.exe" \
                "$build/$b/bench/program/qd7150.exe" "$out" --holds-only >"$out/driver.txt" 2>&1; then
                tail -5 "$out/driver.txt" >&2
                say "$b run $run: the driver could not measure the holds"
                bad=$((bad + 1))
                continue
            fi
            # rule,channel,hold_s,on_channel_s,difference_percent
            line=$(awk -F, 'NR > 1 {
                    sub(/\r$/, "")  # the driver writes CR LF
                    printf "%s %.3f/%.3f s (%+.2f %%)  ", $1, $3, $4, $5
                    if ($5 + 0 > 1 || $5 + 0 < -1) far++
                } END { printf "| %d outside 1 %%", far; exit far > 0 }' "$out/holds.csv") || bad=$((bad + 1))
            echo "$b run $run: $line"
        done
    done
    say "hold and time on the channel (less 60 ms) of every hold, samples in $results/holds:" \
        "$bad run(s) failed or outside 1 %"
    exit $((bad > 0))
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for b in "${builds[@]}"; do
    mkdir -p "$results/$b"
    rm -f "$results/$b"/*.csv "$results/$b"/table.md
    say "measuring the $b program (about 90 s)"
    set +e
    bash tests/wine/run.sh "$state" --build "$b" "$build/$b/bench/timing_driver.exe" \
        "$build/$b/bench/program/qd7150.exe" "$results/$b" | tee "$results/$b/driver.txt"
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -ne 0 ] || [ ! -s "$results/$b/table.md" ]; then
        say "the driver could not measure the $b program (exit code $status)"
        exit 1
    fi
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

say "host micro-benchmarks of the per-tick work"
"$build/bench/core_bench" --benchmark_min_time=0.2 2>/dev/null | tee "$results/core_bench.txt" >&2

# The page and the plot.
date=$(date -u +%Y-%m-%d)
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
wine_version=$(/usr/lib/wine/wine64 --version 2>/dev/null || wine64 --version)
gnuplot -e "dir32='$results/win32'; dir64='$results/win64'; out='$root/docs/timing.png'; title='QD-7150 under Wine: timing measured $date'" \
    bench/timing.gp
python3 bench/merge_tables.py "$results/win32/table.md" "$results/win64/table.md" \
    >"$results/table.md" 2>"$results/missed.txt"
read -r missed32 missed64 <"$results/missed.txt"
{
    echo "# Timing of the program under Wine"
    echo
    echo "Measured with \`bash bench/run.sh\` on $date: the real program of each"
    echo "build with our simulated transceiver, driven from outside, timed from the"
    echo "simulator's record of the port traffic. The two builds ran one after the"
    echo "other on the same machine: the i686 build we ship under the 32-bit Wine"
    echo "loader, then the x86_64 build under wine64, both against the same goals."
    echo
    echo "Machine: $(nproc) cores ($cpu), $wine_version, Linux $(uname -r)."
    echo "Load average (1, 5, 15 min) before the runs: $load_before; after: $load_after."
    echo
    cat "$results/table.md"
    echo
    echo "Goals missed in this run: $missed32 by the i686 build, $missed64 by the x86_64 build."
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
cat "$results/table.md"
say "wrote docs/timing.md and docs/timing.png (goals missed: $missed32 by i686, $missed64 by x86_64)"
