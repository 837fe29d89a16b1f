#!/bin/sh
# Runs one group of the Windows suite (or "all") under Wine, on a private X server when there is
# no display. Usage: run-ui-tests.sh PadsmithTool.exe UiAutomation.exe GROUP
# With an empty PadsmithTool.exe the program runs with no arguments (Win32Checks.exe).
set -eu
here=$(dirname "$0")
tool=$1
automation=$2
group=$3

. "$here/wine-prefix.sh"

. "$here/virtual-display.sh"
if [ -z "${DISPLAY:-}" ]; then
    start_virtual_display 1280x1024x24
fi

if [ -z "$tool" ]; then
    wine "$automation"
else
    wine "$automation" "$(winepath -w "$tool")" "$group"
fi
