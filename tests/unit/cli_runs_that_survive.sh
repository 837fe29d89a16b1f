#!/usr/bin/env bash
# The real padsmith program, real time: a run that has sent its erase finishes whatever happens
# around it. Three full writes run side by side:
#   - stdout closed after its first line (`| head -1`);
#   - SIGINT once a write of four displays at once (--all) has sent its erase: every record is
#     sent to every display, then the exit status is 130 (an interrupt before a display is
#     touched ends padsmith at once, so it waits for the erase in the trace, not for a time);
#   - the image emptied once the erase has gone out: the image is written as it was read, before
#     the erase;
#   - a station interrupted twice during its first display's write: that write finishes, the
#     display that arrives afterwards is not started, and the status is the station's own, 0.
# Each display written must hold the image in both windows of its flash, after all 1344 records.
set -u
# Job control: background jobs keep SIGINT's default action instead of ignoring it.
set -m
padsmith=$1
work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
head -c 55296 /dev/urandom > fw.bin
failed=0
fail() { echo "FAIL: $*"; failed=1; }
# Until the trace TRACE shows the erase sent (its writer flushes every 50 ms); at most 20 s.
erased() {
    for _ in $(seq 400); do
        grep -qs ' set 29' "$1" && return 0
        sleep 0.05
    done
    return 1
}

# The flash equals the image in both windows, and every record went.
check_written() {
    local name=$1 image=$2
    cmp -s -n 32768 "$image" "$name.flash" || fail "$name: first window differs from the image"
    cmp -s -i 45056 -n 10240 "$image" "$name.flash" || fail "$name: second window differs from the image"
    local records
    records=$(grep -c '^[0-9]* set 28' "$name.trace")
    [ "$records" = 1344 ] || fail "$name: $records records were sent, not 1344"
}

(
    "$padsmith" "--simulate=trace=pipe.trace,flash=pipe.flash" write fw.bin 2>pipe.err | head -1 >/dev/null
    echo "${PIPESTATUS[0]}" > pipe.status
) &

"$padsmith" "--simulate=displays=4,trace=sigint.trace,flash=sigint.flash" --all write fw.bin \
    >sigint.out 2>sigint.err &
sigint=$!

cp fw.bin checked.bin
cp fw.bin emptied.bin
"$padsmith" "--simulate=trace=emptied.trace,flash=emptied.flash" write emptied.bin >emptied.out 2>&1 &
emptied=$!

"$padsmith" "--simulate=displays=2,2:arrive-after=1500,trace=station.trace,flash=station.flash" station fw.bin \
    >station.out 2>station.err &
station=$!

erased emptied.trace || fail "emptied: no erase sent within 20 s"
: > emptied.bin
erased sigint.trace.1 || fail "sigint: no erase sent within 20 s"
kill -INT "$sigint"
erased station.trace.1 || fail "station: no erase sent within 20 s"
kill -INT "$station"
sleep 0.5
kill -TERM "$station"
wait "$sigint"; sigintStatus=$?
wait "$emptied"; emptiedStatus=$?
wait "$station"; stationStatus=$?
wait

[ "$(cat pipe.status)" = 0 ] || fail "pipe: exit status $(cat pipe.status)"
check_written pipe fw.bin
[ "$sigintStatus" = 130 ] || fail "sigint: exit status $sigintStatus, not 130"
grep -q "finishes first" sigint.err || fail "sigint: no notice on stderr"
grep -q "^4 displays: 4 written$" sigint.out || fail "sigint: not every display was written"
for display in 1 2 3 4; do
    mv "sigint.flash.$display" "sigint$display.flash" && mv "sigint.trace.$display" "sigint$display.trace"
    check_written "sigint$display" fw.bin
done
[ "$emptiedStatus" = 0 ] || fail "emptied: exit status $emptiedStatus"
check_written emptied checked.bin
[ "$stationStatus" = 0 ] || fail "station: exit status $stationStatus, not 0"
grep -q "^station: 1 display: 1 written, 0 failed, 0 ignored$" station.out || fail "station: not one display written"
mv station.flash.1 station1.flash && mv station.trace.1 station1.trace
check_written station1 fw.bin
[ ! -s station.trace.2 ] || fail "station: the display that arrived after the interrupt was sent reports"

if [ "$failed" = 0 ]; then
    echo "closed stdout, SIGINT during a write of four displays, an emptied image and an interrupted station: every record sent, flash equals the image"
fi
exit "$failed"
