#!/usr/bin/env bash
# Runs every test: the core's unit tests (plain and sanitized), the soak and the
# fuzz corpus, and the Windows tests of both builds under Wine (win32.*: i686,
# the build we ship; win64.*: x86_64) on a virtual display of their own. Sets up
# and builds first (tools/setup.sh), so it works on a fresh machine. Where the
# kernel cannot run 32-bit programs, the win32 tests are reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/setup.sh
status=0
ctest --test-dir build --output-on-failure -j"$(nproc)" || status=$?
if [ -f build/wine/no-wine32 ]; then
    echo "test: the i686 tests (win32.*) were skipped: $(cat build/wine/no-wine32)"
fi
exit $status
