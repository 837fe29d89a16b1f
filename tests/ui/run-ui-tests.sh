#!/bin/sh
# Runs one group of the Windows suite (or "all") under Wine, on a private X server when there is
# no display. Usage: run-ui-tests.sh ARCH PadsmithTool.exe UiAutomation.exe GROUP
# ARCH is the build's Wine: win32 (i686) or win64 (x86_64); tests/ui/wine-prefix.sh says more.
# With an empty PadsmithTool.exe the program runs with no arguments (Win32Checks.exe).
set -eu
here=$(dirname "$0")
arch=$1
tool=$2
automation=$3
group=$4

. "$here/wine-prefix.sh"
wine_prefix "$arch"

. "$here/virtual-display.sh"
if [ -z "${DISPLAY:-}" ]; then
    start_virtual_display 1280x1024x24
fi

if [ -z "$tool" ]; then
    wine "$automation"
else
    wine "$automation" "$(winepath -w "$tool")" "$group"
fi
