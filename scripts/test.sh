#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs every test:
#   - the native unit and end-to-end tests, in a debug build and under ASan+UBSan and TSan;
#   - the Windows suite: PadsmithTool.exe cross-built with MinGW-w64 (i686) and driven for real
#     under Wine in a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh --tests
jobs=$(nproc)
started=$SECONDS
for preset in debug asan tsan mingw; do
  echo "=== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
  echo "=== $preset: test"
  ctest --preset "$preset" -j"$jobs"
done
echo "=== every suite passed in $((SECONDS - started)) s"
