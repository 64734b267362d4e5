#!/usr/bin/env bash
# Runs every test: the core's unit tests (plain and sanitized), the soak and the
# fuzz corpus, and the Windows tests under wine64 on a virtual display of their
# own. Sets up and builds first (tools/setup.sh), so it works on a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
