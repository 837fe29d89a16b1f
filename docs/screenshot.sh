#!/bin/sh
# Saves a screenshot of the dialog (demo mode) after a demo write as docs/screenshot.png: the
# Windows suite's UiAutomation clicks Write Flash, chooses a random 0xD800-byte image in the Open
# dialog, waits for Write Flash Success and leaves the dialog running with its log lines. Wine's
# virtual desktop draws the caption bar, so no window manager is needed. Needs wine, xvfb,
# imagemagick (scripts/setup-debian.sh --windows) and the mingw build (about 25 s); on a kernel
# that cannot run 32-bit programs, the mingw64 build under 64-bit Wine.
# Usage: docs/screenshot.sh [PadsmithTool.exe [UiAutomation.exe]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/ui/wine-prefix.sh"
build=mingw arch=win32
if i386_refused >/dev/null; then build=mingw64 arch=win64; fi
tool=${1:-$root/build/$build/app/win32/PadsmithTool.exe}
automation=${2:-$root/build/$build/tests/ui/UiAutomation.exe}
wine_prefix $arch
. "$root/tests/ui/virtual-display.sh"
start_virtual_display 1024x600x24

# The image lies on the prefix's C: drive, so the log shows a short Windows path.
mkdir -p "$WINEPREFIX/drive_c/firmware"
head -c 55296 /dev/urandom > "$WINEPREFIX/drive_c/firmware/firmware.bin"
out=$(mktemp)
wine explorer /desktop=padsmith,900x460 "$automation" "$(winepath -w "$tool")" demo-write \
    'C:\firmware\firmware.bin' > "$out" 2>&1 &
wine_pid=$!
# UiAutomation's last line tells when the write has ended (about 16 s); the desktop stays.
status=1
i=0
while [ $i -lt 60 ]; do
    if grep -q "^demo-write: done" "$out"; then status=0; break; fi
    if grep -q "^demo-write: failed" "$out"; then break; fi
    sleep 1
    i=$((i + 1))
done
if [ $status -eq 0 ]; then
    geometry=$(sed -n 's/^demo-write: done //p' "$out" | tr -d '\r')
    import -window root -crop "$geometry" +repage "$root/docs/screenshot.png"
fi
cat "$out" >&2
rm -f "$out" "$WINEPREFIX/drive_c/firmware/firmware.bin"
# Stop the demo and the virtual desktop of our own prefix.
wineserver -k
wait "$wine_pid" 2>/dev/null || true
[ $status -eq 0 ] || echo "screenshot.sh: the demo write did not end well; docs/screenshot.png is unchanged" >&2
exit $status
