#!/bin/sh
# Saves a picture of padsmith station's terminal view as docs/station-view.png: a simulated line
# of four ports (the fourth not the station's, the third's displays never answering) run for real
# in an 80 x 8 tmux window, its screen captured 24 s in (the first displays done, the next ones
# being written) and drawn in DejaVu Sans Mono (ImageMagick reads % as an escape: doubled). Needs tmux and imagemagick, and the release build.
# Usage: docs/station-view.sh [padsmith]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
padsmith=${1:-$root/build/release/cli/padsmith}
work=$(mktemp -d)
trap 'tmux kill-session -t padsmith-station 2>/dev/null || true; rm -rf "$work"' EXIT
head -c 55296 /dev/urandom > "$work/firmware.bin"
cd "$work"
tmux new-session -d -s padsmith-station -x 80 -y 8 \
    "$padsmith --simulate=displays=4,3:no-reply,leave-after=1000,swap=3000 station firmware.bin --ports=1-1.1,1-1.2,1-1.3; sleep 60"
sleep 24
tmux capture-pane -p -t padsmith-station > screen.txt
cat screen.txt
convert -background '#1e1e1e' -fill '#d8d8d8' -font DejaVu-Sans-Mono -pointsize 15 -interline-spacing 3 \
    -border 14 -bordercolor "#1e1e1e" label:"$(sed "s/%/%%/g" screen.txt)" "$root/docs/station-view.png"
