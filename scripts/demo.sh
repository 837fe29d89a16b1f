#!/usr/bin/env bash
# The main job, on the built-in simulated device: a firmware upgrade of a full 0xD800-byte image,
# in real time (about 15 s), then a check that the simulated flash holds the image.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target padsmith >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 55296 /dev/urandom > "$work/firmware.bin"
echo "firmware upgrade of the simulated display with $work/firmware.bin (55296 bytes)"
build/release/cli/padsmith "--simulate=flash=$work/flash.bin,trace=$work/reports.txt" write "$work/firmware.bin"
build/release/cli/padsmith --simulate info

# The image must be in both address windows of the flash, 0x0000-0x7FFF and 0xB000-0xD7FF.
cmp -s <(head -c 32768 "$work/firmware.bin") <(head -c 32768 "$work/flash.bin")
cmp -s <(tail -c +45057 "$work/firmware.bin") <(tail -c +45057 "$work/flash.bin")
echo "the simulated flash holds the image in both windows; $(wc -l < "$work/reports.txt") reports exchanged"
