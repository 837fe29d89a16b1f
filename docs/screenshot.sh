#!/bin/sh
# Saves a screenshot of the running dialog (demo mode) as docs/screenshot.png. Wine's virtual
# desktop draws the caption bar, so no window manager is needed. Needs wine, xvfb, imagemagick.
# Usage: docs/screenshot.sh [build/mingw/app/win32/PadsmithTool.exe]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/mingw/app/win32/PadsmithTool.exe}
. "$root/tests/ui/wine-prefix.sh"
. "$root/tests/ui/virtual-display.sh"
start_virtual_display 1024x600x24

wine explorer /desktop=padsmith,900x460 "$tool" --simulate >/dev/null 2>&1 &
wine_pid=$!
sleep 6
import -window root -crop 900x460+0+0 "$root/docs/screenshot.png"
# Stop the demo and the virtual desktop of our own prefix.
wineserver -k
wait "$wine_pid" 2>/dev/null || true
