#!/usr/bin/env bash
# Sets up a Debian 12 machine and runs every test:
#   - the native unit and end-to-end tests and the runs through the kernel (a FUSE-served hidraw
#     node), under ASan+UBSan and under TSan (the debug preset builds the same tests with fewer
#     checks: a developer's preset, not built here a third time);
#   - the Windows suite: PadsmithTool.exe cross-built with MinGW-w64 (i686) and driven for real
#     under Wine in a virtual X display; on a kernel that cannot run 32-bit programs, the i686
#     build makes only the zip's two programs, its suite is named skipped, and the same suite runs
#     on an x86_64 build (mingw64) under 64-bit Wine;
#   - the release artifacts (scripts/package.sh), checked by scripts/check-packages.sh: the zip's
#     files and digests, its padsmith.exe writing under Wine, lintian, and an install of the .deb;
#   - the README's two commands on a fresh Debian root (scripts/check-fresh-root.sh), beside the
#     builds, since it is mostly network and dpkg; its output is shown at the end, its failure
#     fails the run, and a skip is named in the last line;
#   - the Linux tests through a real kernel in a VM (tests/vm/run-vm-tests.sh), beside the builds
#     too, once the release build's programs are built: Debian's kernel in QEMU, padsmith as built
#     against simulated displays attached through the kernel's USB/IP host. Here it must run: a
#     missing QEMU or kernel fails the run.
# Every preset is configured with PADSMITH_REQUIRE_TEST_PARTS: a test part whose packages are
# missing fails the run instead of leaving the suite smaller.
#   scripts/test.sh               all of the above
#   scripts/test.sh --configure   the setup, and the configure of each preset, nothing more (the
#                                 fresh-root check runs it in its root)
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(asan tsan mingw)
configure_only=0
case "${1:-}" in
  --configure) configure_only=1 ;;
  "") ;;
  *) echo "usage: $0 [--configure]" >&2; exit 2 ;;
esac

scripts/setup-debian.sh --tests
# The Windows suite needs 32-bit Wine. A kernel without IA32 emulation refuses it: there the
# x86_64 build stands in, and the last line says so.
. tests/ui/wine-prefix.sh
if i386_skip=$(i386_refused); then
  presets=(asan tsan mingw64)
fi
configure() {
  cmake --preset "$1" -DPADSMITH_REQUIRE_TEST_PARTS=ON >/dev/null
}
if (( configure_only )); then
  for preset in release "${presets[@]}" ${i386_skip:+mingw}; do
    echo "=== $preset: configure"
    configure "$preset"
  done
  exit 0
fi

jobs=$(nproc)
started=$SECONDS
mkdir -p build
fresh_log=build/fresh-root.log
echo "=== fresh root: started beside the builds, its output in $fresh_log"
# A process group of its own (setsid), so that a run that stops early stops all of it; the
# check cleans up after itself.
setsid scripts/check-fresh-root.sh > "$fresh_log" 2>&1 &
fresh_pid=$!
vm_pid=
trap 'kill -TERM -- "-$fresh_pid" ${vm_pid:+"-$vm_pid"} 2>/dev/null; wait 2>/dev/null || true' EXIT

# The VM tests run the release build's programs, as built: those first, then the VM beside the
# presets' builds.
echo "=== release: build the VM tests' programs"
configure release
cmake --build --preset release -j"$jobs" --target padsmith padsmith-usb-display padsmith_hidapi_info \
  padsmith_vm_bench >/dev/null
vm_log=build/vm-tests.log
echo "=== vm: started beside the builds, its output in $vm_log"
setsid tests/vm/run-vm-tests.sh --required build/release > "$vm_log" 2>&1 &
vm_pid=$!

for preset in "${presets[@]}"; do
  echo "=== $preset: build ($((SECONDS - started)) s so far)"
  configure "$preset"
  cmake --build --preset "$preset" -j"$jobs" >/dev/null
  echo "=== $preset: test ($((SECONDS - started)) s so far)"
  ctest --preset "$preset" -j"$jobs"
done
[[ -n "$i386_skip" ]] && echo "=== mingw: its suite SKIPPED ($i386_skip); built below for the zip only"
# The packages span two build trees (release and mingw) and install into the system: a step of
# their own after the presets, not a ctest test of one of them.
echo "=== packages: build ($((SECONDS - started)) s so far)"
scripts/package.sh
echo "=== packages: check ($((SECONDS - started)) s so far)"
scripts/check-packages.sh

echo "=== vm ($((SECONDS - started)) s so far)"
vm_status=0
wait "$vm_pid" || vm_status=$?
grep -E '^(vm|bench): ' "$vm_log" | grep -v '^vm: ---' || true
if (( vm_status != 0 )); then
  echo "=== the VM tests failed (exit $vm_status); their console:"
  cat "$vm_log"
fi

echo "=== fresh root ($((SECONDS - started)) s so far)"
fresh_status=0
wait "$fresh_pid" || fresh_status=$?
trap - EXIT
cat "$fresh_log"
if (( vm_status != 0 )); then
  echo "=== the VM tests failed (exit $vm_status)"
  exit 1
fi
skips=()
[[ -n "$i386_skip" ]] && skips+=("the i686 Windows suite and the zip's padsmith.exe under Wine were"\
" SKIPPED: $i386_skip; the x86_64 build ran both under 64-bit Wine")
case "$fresh_status" in
  0) ;;
  77) skips+=("the fresh-root check was SKIPPED: $(tail -n 1 "$fresh_log" | sed 's/^fresh root: SKIP: //')") ;;
  *) echo "=== the fresh-root check failed (exit $fresh_status)"; exit 1 ;;
esac
if (( ${#skips[@]} == 0 )); then
  echo "=== every suite passed in $((SECONDS - started)) s"
else
  echo "=== every other suite passed in $((SECONDS - started)) s; $(printf '%s; ' "${skips[@]}" | sed 's/; $//')"
fi
