#!/usr/bin/env bash
# Runs every test: the core's unit tests (plain and sanitized) and the Windows
# tests under wine64 with a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
