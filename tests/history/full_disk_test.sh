#!/usr/bin/env bash
# A disk that fills up, for real: the history on a 1 MiB tmpfs of this test's own, in a private
# mount namespace (no mount outlives the test), written by the real padsmith program on
# simulated displays whose flash and trace files lie elsewhere.
#   - Full before the run. --history=FILE is a promise: the run stops with the reason, exit 1,
#     nothing erased (no 0x29 in the trace, the flash file as it was). The default location
#     ($XDG_STATE_HOME on the full disk) is best effort: said once, the display written.
#   - Full once the trace shows the erase. The runs finish and each flash holds the image. A
#     promised history's lost record is told on stderr and in the JSON result (a write's
#     historyError, a station result's recordLost), exit 1; at the default location it is said
#     once for both displays of an --all run, exit 0. The rows stay "unfinished".
# Root only (a tmpfs); elsewhere it says SKIP and exits 77.
set -u
padsmith=$1
work=$2
if [ "$(id -u)" != 0 ]; then
    echo "SKIP: a disk that fills up is a tmpfs of the test's own, which needs root"
    exit 77
fi
if [ -z "${PADSMITH_PRIVATE_MOUNTS:-}" ]; then
    if ! command -v unshare >/dev/null; then
        echo "SKIP: no unshare (util-linux) for a private mount namespace"
        exit 77
    fi
    PADSMITH_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi
rm -rf "$work" && mkdir -p "$work/disk" && cd "$work" || exit 1
mount -t tmpfs -o size=1m padsmith-full disk || { echo "FAIL: cannot mount a tmpfs on $work/disk"; exit 1; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }
fill() { dd if=/dev/zero of=disk/fill bs=4k 2>/dev/null; }
erased() { grep -q '^[0-9]* set 29' "$1" 2>/dev/null; }
holds_image() { cmp -s -n 1024 fw.bin "$1" || fail "$1 does not hold the image"; }
# The line a file holds, alone (beside a write's notice that it checks no release signature).
only_line() {
    local file=$1 pattern=$2 lines
    lines=$(grep -v '^padsmith: release signatures are not checked' "$file")
    [ "$(printf '%s\n' "$lines" | wc -l)" = 1 ] && printf '%s\n' "$lines" | grep -q -- "$pattern" ||
        fail "$file: not one line matching $pattern: $(cat "$file")"
}
head -c 1024 /dev/urandom > fw.bin
head -c 55296 /dev/urandom > old.flash
full="database or disk is full"

# --- Full before the run ---
fill
cp old.flash promised.flash
"$padsmith" --simulate=trace=promised.trace,flash=promised.flash --history=disk/promised.sqlite3 write fw.bin \
    >promised.out 2>promised.err
status=$?
[ "$status" = 1 ] || fail "promised, full before: exit status $status, not 1"
only_line promised.err "^padsmith: history disk/promised.sqlite3: $full; nothing was sent$"
! erased promised.trace || fail "promised, full before: the display was erased"
cmp -s old.flash promised.flash || fail "promised, full before: the flash file changed"

XDG_STATE_HOME=$work/disk/state "$padsmith" --simulate=trace=default.trace,flash=default.flash write fw.bin \
    >default.out 2>default.err
status=$?
[ "$status" = 0 ] || fail "default, full before: exit status $status, not 0"
only_line default.err "^padsmith: history $work/disk/state/padsmith/history.sqlite3: $full; no history is kept"
holds_image default.flash
rm disk/fill

# --- Full once the erase was sent ---
"$padsmith" --simulate=trace=write.trace,flash=write.flash --history=disk/write.sqlite3 --json write fw.bin \
    >write.out 2>write.err &
write=$!
"$padsmith" --simulate=trace=station.trace,flash=station.flash --history=disk/station.sqlite3 --json --max=1 \
    station fw.bin >station.out 2>station.err &
station=$!
XDG_STATE_HOME=$work/disk/after "$padsmith" --simulate=displays=2,trace=all.trace,flash=all.flash --all \
    write fw.bin >all.out 2>all.err &
all=$!
for _ in $(seq 500); do
    erased write.trace && erased station.trace && erased all.trace.1 && erased all.trace.2 && break
    sleep 0.02
done
fill
wait "$write"; writeStatus=$?
wait "$station"; stationStatus=$?
wait "$all"; allStatus=$?

lost="the run's record [0-9a-f-]* is lost (it stays unfinished): record the end of run [0-9a-f-]*: history"
[ "$writeStatus" = 1 ] || fail "write: exit status $writeStatus, not 1"
only_line write.err "^padsmith: $lost disk/write.sqlite3: $full$"
tail -n 1 write.out | grep -q "\"historyError\":{\"kind\":\"io\",\"message\":\"$lost disk/write.sqlite3: $full\"}" ||
    fail "write: no historyError in the result: $(tail -n 1 write.out)"
holds_image write.flash

[ "$stationStatus" = 1 ] || fail "station: exit status $stationStatus, not 1"
only_line station.err "^padsmith: 1-1.1: $lost disk/station.sqlite3: $full$"
grep '"event":"result"' station.out | grep -q "\"recordLost\":{\"kind\":\"io\",\"message\":\"$lost disk/station.sqlite3: $full\"}" ||
    fail "station: no recordLost in the display's result: $(cat station.out)"
tail -n 1 station.out | grep -q '"summary":"station: 1 display: 1 written, 0 failed, 0 ignored, 1 records lost"' ||
    fail "station: the summary does not count the lost record: $(tail -n 1 station.out)"
holds_image station.flash

[ "$allStatus" = 0 ] || fail "--all at the default location: exit status $allStatus, not 0"
only_line all.err "^padsmith: record the end of run [0-9a-f-]*: history $work/disk/after/padsmith/history.sqlite3: $full; the history goes on without these runs' records$"
holds_image all.flash.1
holds_image all.flash.2

rm disk/fill
for history in disk/write.sqlite3 disk/station.sqlite3; do
    "$padsmith" history --history="$history" --json > rows.json 2>&1
    only_line rows.json '"result":"unfinished"'
done

if [ "$failed" = 0 ]; then
    echo "a full disk: before the run, nothing erased (promised) or said once (default); after the erase, every display written and the lost records told"
fi
exit "$failed"
