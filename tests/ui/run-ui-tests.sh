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

xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
if [ -z "${DISPLAY:-}" ]; then
    # -displayfd picks a free display number and tells it once the server is ready.
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r display <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$display"
fi

if [ -z "$tool" ]; then
    wine "$automation"
else
    wine "$automation" "$(winepath -w "$tool")" "$group"
fi
