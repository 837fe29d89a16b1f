#!/bin/sh
# Saves a picture of a station's web page as docs/station-page.png: a simulated line of six ports
# run for real with --listen (the third port's displays refusing a record, the fifth's never
# answering, its operator swapping each display 1 s after its run and bringing the next 3 s later),
# the page shot by headless Chromium 20 s in: the first displays written and the next ones being
# written, the third and fifth ports out of service. Needs chromium and the release build.
# Usage: docs/station-page.sh [padsmith]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
padsmith=$(realpath "${1:-$root/build/release/cli/padsmith}")
work=$(mktemp -d)
station=
trap '[ -n "$station" ] && kill "$station" 2>/dev/null; rm -rf "$work"' EXIT
head -c 55296 /dev/urandom > "$work/firmware.bin"
cd "$work"
"$padsmith" --simulate=displays=6,3:refuse-at=0x1000,5:no-reply,6:arrive-after=9000,leave-after=1000,swap=3000 \
    station firmware.bin --listen=127.0.0.1:0 --history="$work/history.sqlite3" >/dev/null 2>stderr.txt &
station=$!
tries=0
until grep -q "the station's page" stderr.txt; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { cat stderr.txt >&2; exit 1; }
  sleep 0.1
done
address=$(sed -n "s/.*the station's page: //p" stderr.txt)
sleep 19
chromium --headless=new --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/browser" --hide-scrollbars \
    --window-size=1100,620 --virtual-time-budget=1500 --screenshot="$root/docs/station-page.png" "$address" \
    2>/dev/null
echo "docs/station-page.png: $address, 20 s in"
