#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs every test:
#   - the native unit and end-to-end tests and the runs through the kernel (a FUSE-served hidraw
#     node), in a debug build and under ASan+UBSan and TSan;
#   - the Windows suite: PadsmithTool.exe cross-built with MinGW-w64 (i686) and driven for real
#     under Wine in a virtual X display;
#   - the release artifacts (scripts/package.sh), checked by scripts/check-packages.sh: the zip's
#     files and digests, its padsmith.exe writing under Wine, lintian, and an install of the .deb.
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
# The packages span two build trees (release and mingw) and install into the system: a step of
# their own after the presets, not a ctest test of one of them.
echo "=== packages: build"
scripts/package.sh
echo "=== packages: check"
scripts/check-packages.sh
echo "=== every suite passed in $((SECONDS - started)) s"
