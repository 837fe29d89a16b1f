#!/bin/sh
# Saves a screenshot of the running dialog (demo mode) as docs/screenshot.png. Wine's virtual
# desktop draws the caption bar, so no window manager is needed. Needs wine, xvfb, imagemagick.
# Usage: docs/screenshot.sh [build/mingw/app/win32/PadsmithTool.exe]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/mingw/app/win32/PadsmithTool.exe}
. "$root/tests/ui/wine-prefix.sh"

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
read -r display <"$fifo"
rm -f "$fifo"
export DISPLAY=":$display"
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT INT TERM

wine explorer /desktop=padsmith,900x460 "$tool" --simulate >/dev/null 2>&1 &
wine_pid=$!
sleep 6
import -window root -crop 900x460+0+0 "$root/docs/screenshot.png"
# Stop the demo and the virtual desktop of our own prefix.
wineserver -k
wait "$wine_pid" 2>/dev/null || true
