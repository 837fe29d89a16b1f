# The VM tests' cases, run by busybox sh as the VM's init (tests/vm/run-vm-tests.sh): padsmith,
# as built, against simulated displays that padsmith-usb-display attaches through vhci-hcd, so
# every report goes through the kernel's USB core, usbhid and hidraw, and every node and sysfs
# entry is the kernel's own. One line per case: "vm: PASS NAME (SECONDS s)" or
# "vm: FAIL NAME: WHY". Arguments name the cases to run; none: all.
#   sh cases.sh [CASE...]

all_cases="list hidapi write all unplug inflight wait station"
work=/tmp/cases
mkdir -p "$work"
server=

now() { cut -d' ' -f1 /proc/uptime; }
# Seconds from $1 to now, to 0.01 s.
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
# awk's verdict on a comparison of numbers: less 3.2 4 is true.
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# Fails the case with WHY; the rest of the case is skipped.
fail() { why="$*"; return 1; }
expect() {  # FILE TEXT: FILE holds TEXT (fixed string)
  grep -qF -- "$2" "$1" || fail "$1 lacks \"$2\": $(head -c 600 "$1")"
}
expect_not() { ! grep -qF -- "$2" "$1" || fail "$1 holds \"$2\""; }
# The value of "KEY":VALUE in the last JSON line of FILE (a number, or a string without quotes).
json() { tail -n 1 "$1" | sed -n "s/.*\"$2\":\"*\([^\",}]*\).*/\1/p" | head -n 1; }
expect_json() {  # FILE KEY VALUE
  [ "$(json "$1" "$2")" = "$3" ] || fail "$1: $2 is \"$(json "$1" "$2")\", not \"$3\": $(tail -n 1 "$1")"
}

nodes() { ls /dev/hidraw* 2>/dev/null | wc -l; }
wait_nodes() {  # N: waits (10 s) until exactly N hidraw nodes exist
  local deadline=$(( $(cut -d. -f1 /proc/uptime) + 10 ))
  while [ "$(nodes)" -ne "$1" ]; do
    [ "$(cut -d. -f1 /proc/uptime)" -lt "$deadline" ] || { fail "$(nodes) hidraw nodes, not $1"; return 1; }
    sleep 0.05
  done
}
server_start() {  # OPTIONS...: the displays' server, its lines in $work/server.log
  padsmith-usb-display "$@" > "$work/server.log" 2>&1 &
  server=$!
}
server_stop() {
  [ -n "$server" ] || return 0
  kill -TERM "$server" 2>/dev/null
  wait "$server"
  local status=$?
  server=
  [ "$status" -eq 0 ] || fail "padsmith-usb-display exited with $status: $(cat "$work/server.log")"
}
image() {  # FILE BYTES: random bytes
  head -c "$2" /dev/urandom > "$1"
}
# FLASH holds IMAGE in both windows: 0x0000..0x7FFF, and 0xB000.. up to the image's end.
holds() {  # FLASH IMAGE
  local size=$(wc -c < "$2") a b
  a=$(head -c $((size < 32768 ? size : 32768)) "$1" | md5sum | cut -d' ' -f1)
  b=$(head -c $((size < 32768 ? size : 32768)) "$2" | md5sum | cut -d' ' -f1)
  [ "$a" = "$b" ] || { fail "$1 does not hold $2 in its first window"; return 1; }
  [ "$size" -gt 45056 ] || return 0
  a=$(dd if="$1" bs=2048 skip=22 count=$(( (size - 45056) / 2048 )) 2>/dev/null | md5sum | cut -d' ' -f1)
  b=$(dd if="$2" bs=2048 skip=22 count=$(( (size - 45056) / 2048 )) 2>/dev/null | md5sum | cut -d' ' -f1)
  [ "$a" = "$b" ] || fail "$1 does not hold $2 in its second window"
}

# --- The cases ---

case_list() {
  server_start displays=2 && wait_nodes 2 || return 1
  padsmith list > "$work/list" 2>&1 || fail "list: $(cat "$work/list")" || return 1
  cat "$work/list"
  # Every collection of each display's node; only the service collections are marked, by their
  # descriptor, and the highest index is the target.
  for line in "1-1 +2A7D:6C21  0001:0002  /dev/hidraw[0-9]+  SIM01-0001$" \
              "1-1 +2A7D:6C21  000D:0002  /dev/hidraw[0-9]+  SIM01-0001$" \
              "1-1 +2A7D:6C21  FF00:0001  /dev/hidraw[0-9]+  SIM01-0001  <- display$" \
              "1-2 +2A7D:6C21  0001:0002  /dev/hidraw[0-9]+  SIM02-0001$" \
              "1-2 +2A7D:6C21  000D:0002  /dev/hidraw[0-9]+  SIM02-0001$" \
              "1-2 +2A7D:6C21  FF00:0001  /dev/hidraw[0-9]+  SIM02-0001  <- target$"; do
    grep -qE "^ *[0-9]+  $line" "$work/list" || fail "list has no line like \"$line\"" || return 1
  done
  [ "$(wc -l < "$work/list")" -eq 6 ] || fail "list shows $(wc -l < "$work/list") interfaces, not 6" || return 1
  padsmith --json list > "$work/list.json" || return 1
  for k in 1 2; do
    [ "$(grep -c "\"device\":\"1-$k\",\"serial\":\"SIM0$k-0001\"" "$work/list.json")" -eq 3 ] \
      || fail "--json list: not three collections of 1-$k with serial SIM0$k-0001" || return 1
  done
  # What the kernel made: a character device, a uevent with the serial and the USB place.
  node=$(sed -n 's/.*  1-2 .*FF00:0001  \(\/dev\/hidraw[0-9]*\) .*/\1/p' "$work/list")
  [ -c "$node" ] || fail "$node is no character device" || return 1
  uevent=/sys/class/hidraw/${node#/dev/}/device/uevent
  echo "the kernel's $uevent:"; cat "$uevent"
  expect "$uevent" "HID_UNIQ=SIM02-0001" || return 1
  ls -d /dev/usb/hiddev* 2>/dev/null

  # info, by location and by node
  padsmith info --json --device=1-1 > "$work/info.json" 2>&1 || fail "info: $(cat "$work/info.json")" || return 1
  expect "$work/info.json" '"device":"1-1"' && expect "$work/info.json" '"firmwareVersion":{"value":16780031,"text":"1.0.10.255"}' \
    || return 1
  padsmith info --device="$node" > "$work/info" 2>&1 || fail "info --device=$node: $(cat "$work/info")" || return 1
  expect "$work/info" "Get PCB Version(0.10.3.1) Firmware Version(1.0.10.255)"
}

case_hidapi() {
  server_start && wait_nodes 1 || return 1
  padsmith_hidapi_info > "$work/hidapi" 2>&1 || fail "hidapi_info: $(cat "$work/hidapi")" || return 1
  cat "$work/hidapi"
  expect "$work/hidapi" "serial SIM01-0001, firmware 1.0.10.255, PCB 0.10.3.1"
}

case_write() {
  image "$work/image.bin" 55296
  server_start flash="$work/write.flash" && wait_nodes 1 || return 1
  # The benchmark runs padsmith's write, timed against the round trips and pauses it measures.
  padsmith_vm_bench /bin/padsmith "$work/image.bin" "$work/write.json" > "$work/bench" 2>&1
  local status=$?
  cat "$work/bench"
  [ "$status" -eq 0 ] || fail "write exited with $status: $(tail -n 1 "$work/write.json")" || return 1
  expect_json "$work/write.json" sent 1344 && expect_json "$work/write.json" refused 0 || return 1
  # Loose: under emulation a record takes about 1 ms more than its pause, and on a host busy with
  # builds a pause takes 13 ms on average; the exact pacing is the unit suite's to check.
  ratio=$(sed -n 's/.*full write: [0-9.]* s, \([0-9.]*\) x .*/\1/p' "$work/bench")
  less "$ratio" 2.5 || fail "the write took $ratio x the floor" || return 1
  server_stop && holds "$work/write.flash" "$work/image.bin"
}

case_all() {
  # Three displays side by side; the third refuses the record for 0x0040.
  image "$work/image.bin" 55296
  server_start displays=3,3:refuse-at=0x40 flash="$work/all.flash" trace="$work/all.trace" && wait_nodes 3 || return 1
  local started=$(now)
  padsmith --all write "$work/image.bin" > "$work/all" 2>&1
  local status=$? took=$(since "$started")
  tail -n 3 "$work/all"
  echo "--all on three displays: $took s"
  [ "$status" -eq 1 ] || fail "--all exited with $status" || return 1
  expect "$work/all" "3 displays: 2 written, 1 failed (1-3: write record 0x0040: HIDIOCSFEATURE report 0x28 on /dev/hidraw" \
    && expect "$work/all" ": Broken pipe)" || return 1
  # Side by side: three writes one after another cannot take less than three floors.
  less "$took" 43.35 || fail "--all took $took s" || return 1
  server_stop && holds "$work/all.flash.1" "$work/image.bin" && holds "$work/all.flash.2" "$work/image.bin" || return 1
  # The refusing display took 0x0000 and 0x0020, refused 0x0040, and was sent nothing after it.
  [ "$(grep -c ' set 285158570000' "$work/all.trace.3")" -eq 1 ] && [ "$(grep -c ' set 285158572000' "$work/all.trace.3")" -eq 1 ] \
    && [ "$(grep -c ' set 28' "$work/all.trace.3")" -eq 2 ] || fail "the refusing display's records: $(grep ' 28' "$work/all.trace.3" | cut -c1-40)" || return 1
  expect "$work/all.trace.3" " set-refused 285158574000"
}

case_unplug() {
  # The display leaves the bus right after accepting its 100th record, between two records.
  image "$work/small.bin" 8192
  server_start unplug-after=100 flash="$work/unplug.flash" && wait_nodes 1 || return 1
  rm -f "$work/unplug.record"
  padsmith --json --record="$work/unplug.record" write "$work/small.bin" > "$work/unplug" 2> "$work/unplug.err"
  local status=$?
  cat "$work/unplug.err"
  [ "$status" -eq 1 ] || fail "the cut write exited with $status" || return 1
  expect "$work/unplug.err" "the display left the bus during the run" || return 1
  expect_json "$work/unplug" kind gone && expect_json "$work/unplug" sent 101 && expect_json "$work/unplug" refused 0 || return 1
  [ "$(grep -c ' set-gone 28' "$work/unplug.record")" -eq 1 ] || fail "the record holds no set-gone line" || return 1
  # The recording, made on the Linux port, replays as that display where it sat: the same end.
  padsmith --json --simulate=replay="$work/unplug.record" write "$work/small.bin" > "$work/replayed" 2>&1
  [ $? -eq 1 ] || fail "the replay: $(tail -n 2 "$work/replayed")" || return 1
  expect_json "$work/replayed" sent 101 && expect_json "$work/replayed" kind gone && expect_json "$work/replayed" device 1-1 \
    || return 1
  # Plugged in again, the same display is written whole.
  kill -USR1 "$server" && wait_nodes 1 || return 1
  padsmith write "$work/small.bin" > "$work/rerun" 2>&1 || fail "the rerun: $(cat "$work/rerun")" || return 1
  server_stop && holds "$work/unplug.flash" "$work/small.bin"
}

case_inflight() {
  # The display leaves with its 21st record in flight, unanswered: the ioctl ends with
  # ETIMEDOUT after usbhid's 5 s, and only then does the node go.
  image "$work/small.bin" 8192
  server_start --leave-in-flight unplug-after=20 && wait_nodes 1 || return 1
  rm -f "$work/inflight.record"
  local started=$(now)
  padsmith --json --record="$work/inflight.record" write "$work/small.bin" > "$work/inflight" 2> "$work/inflight.err"
  local status=$? took=$(since "$started")
  cat "$work/inflight.err"
  echo "the cut write took $took s"
  [ "$status" -eq 1 ] || fail "the write exited with $status" || return 1
  expect "$work/inflight.err" "the display left the bus during the run (write record 0x0280: HIDIOCSFEATURE report 0x28 on /dev/hidraw" \
    || return 1
  expect_json "$work/inflight" kind gone && expect_json "$work/inflight" sent 21 && expect_json "$work/inflight" refused 0 \
    || return 1
  grep ' set-gone 285158578002' "$work/inflight.record" >/dev/null || fail "the record holds no set-gone line for 0x0280" || return 1
  padsmith --json history > "$work/history" 2>&1 || fail "history: $(cat "$work/history")" || return 1
  head -n 1 "$work/history" > "$work/history.newest"
  expect "$work/history.newest" '"recordsRefused":0' && expect "$work/history.newest" '"errorKind":"gone"'
}

case_wait() {
  # The display arrives 2.5 s after the server starts, and the kernel makes its node a moment
  # later; padsmith waits for it from the start and looks at the bus on its own every 2 s.
  server_start arrive-after=2500 || return 1
  padsmith --wait=20 --json info > "$work/wait" 2>&1 || fail "--wait info: $(cat "$work/wait")" || return 1
  local waited=$(json "$work/wait" waited)
  echo "padsmith waited $waited s for a display that arrived 2.5 s after the server started"
  # Woken by the node's arrival (inotify on devtmpfs), not by its look at 4 s.
  less "$waited" 3.9 || fail "padsmith waited $waited s"
}

case_station() {
  # Four ports: 1-1's displays leave 1 s after their run and a fresh one follows 0.5 s later;
  # 1-2's refuses the record for 0x0040; 1-3's never answers the information request; 1-4 is no
  # port of the station's.
  image "$work/station.bin" 1024
  server_start displays=4,1:leave-after=1000,1:swap=500,2:refuse-at=0x40,3:no-reply \
    flash="$work/station.flash" trace="$work/station.trace" && wait_nodes 4 || return 1
  padsmith --json --ports=1-1,1-2,1-3 --max=4 station "$work/station.bin" > "$work/station" 2> "$work/station.err"
  local status=$?
  # At once, before the second display of 1-1 leaves: its flash is saved as the server ends.
  server_stop || return 1
  [ "$status" -eq 1 ] || fail "the station exited with $status: $(cat "$work/station.err")" || return 1
  expect "$work/station" '"summary":"station: 4 displays: 2 written, 2 failed, 1 ignored"' || return 1
  grep '"event":"result"' "$work/station" > "$work/results"
  grep '"port":"1-1"' "$work/results" > "$work/results.1"
  [ "$(grep -c '"result":"success"' "$work/results.1")" -eq 2 ] || fail "1-1: not two displays written" || return 1
  expect "$work/results.1" '"serial":"SIM01-0001"' && expect "$work/results.1" '"serial":"SIM01-0002"' \
    && expect "$work/results.1" '"firmwareVersion":{"value":16780031,"text":"1.0.10.255"}' || return 1
  grep '"port":"1-2"' "$work/results" > "$work/results.2"
  expect "$work/results.2" '"result":"failure"' && expect "$work/results.2" '"refused":1' \
    && expect "$work/results.2" 'write record 0x0040: HIDIOCSFEATURE report 0x28 on /dev/hidraw' \
    && expect "$work/results.2" 'Broken pipe' || return 1
  grep '"port":"1-3"' "$work/results" > "$work/results.3"
  expect "$work/results.3" '"erased":false' && expect "$work/results.3" 'nothing erased' || return 1
  grep '"event":"ignored"' "$work/station" > "$work/ignored"
  [ "$(wc -l < "$work/ignored")" -eq 1 ] && expect "$work/ignored" '"port":"1-4"' || return 1
  # Nothing erased on 1-3, nothing sent to 1-4 (the kernel's own requests at its probe aside).
  expect_not "$work/station.trace.3" " set 29" && expect_not "$work/station.trace.4" " set" \
    && holds "$work/station.flash.1" "$work/station.bin"
}

# --- The runner ---
[ $# -gt 0 ] || set -- $all_cases
for name in "$@"; do
  why=
  started=$(now)
  echo "vm: --- $name"
  if "case_$name"; then
    echo "vm: PASS $name ($(since "$started") s)"
  else
    echo "vm: FAIL $name: $why"
    [ -n "$server" ] && cat "$work/server.log"
  fi
  if [ -n "$server" ]; then
    kill -TERM "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    server=
  fi
  while [ "$(nodes)" -ne 0 ]; do sleep 0.05; done
done
