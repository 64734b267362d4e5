#!/usr/bin/env bash
# A time-boxed fuzz run of the core: tools/fuzz.sh [SECONDS] [libFuzzer options...]
#
# Builds the libFuzzer target (tests/fuzz/core_fuzz.cpp) in build-fuzz/, then
# fuzzes for SECONDS (default 60) on both cores, starting from the committed
# corpus. New inputs go to build-fuzz/fuzz-corpus, never into the committed
# corpus; a failing input is saved in build-fuzz/fuzz-artifacts/ and can be
# replayed with  build-fuzz/tests/fuzz/core_fuzz build-fuzz/fuzz-artifacts/<file>.
# Needs clang and its libFuzzer runtime (Debian: clang, libclang-rt-14-dev).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
case "$seconds" in
    '' | *[!0-9]*) echo "usage: tools/fuzz.sh [SECONDS] [libFuzzer options...]" >&2; exit 2 ;;
esac

build=build-fuzz
cmake -S . -B "$build" -DQD_WINDOWS_BUILDS=OFF >/dev/null
if ! grep -q '^QD_FUZZ_LIBFUZZER:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "fuzz: no clang++ with libFuzzer here (Debian: clang, libclang-rt-14-dev)" >&2
    exit 1
fi
cmake --build "$build" --target core_fuzz

corpus=$build/fuzz-corpus
artifacts=$build/fuzz-artifacts
mkdir -p "$corpus" "$artifacts"
jobs=$(nproc)
echo "fuzz: ${seconds}s on $jobs workers; corpus $corpus, failures in $artifacts"
exec "$build/tests/fuzz/core_fuzz" "$corpus" tests/fuzz/corpus \
    -max_total_time="$seconds" -fork="$jobs" -ignore_crashes=0 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"
