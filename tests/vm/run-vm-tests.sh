#!/usr/bin/env bash
# The Linux tests through a real kernel: Debian 12's own kernel boots in QEMU with a small
# initramfs (static busybox, the USB, USB/IP and HID modules, the release build's padsmith as
# built with the shared libraries it needs, padsmith-usb-display, the hidapi client, the
# benchmark and the cases). Inside, padsmith-usb-display attaches simulated displays through
# vhci-hcd, and the cases (tests/vm/cases.sh) run padsmith against the hidraw nodes the kernel
# made. This side only builds the initramfs, boots QEMU and reads the verdict from the serial
# console.
#   tests/vm/run-vm-tests.sh [--required] BUILD_DIR [CASE...]
# BUILD_DIR is a release build with the targets padsmith, padsmith-usb-display,
# padsmith_hidapi_info and padsmith_vm_bench; CASE names the cases to run (default: all).
# Exit status 0 passed, 1 failed, 77 skipped: QEMU, busybox or the kernel missing (with
# --required, as scripts/test.sh runs it, that is a failure). The whole VM run has a wall-clock
# limit: a hang inside ends it, as a failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

required=0
if [[ "${1:-}" == "--required" ]]; then required=1; shift; fi
[[ $# -ge 1 ]] || { echo "usage: $0 [--required] BUILD_DIR [CASE...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
cases="$*"
limit=${PADSMITH_VM_LIMIT:-900}  # seconds for the whole VM run

skip() {
  if (( required )); then echo "vm: FAIL: cannot run: $*"; exit 1; fi
  echo "vm: SKIP: $*"
  exit 77
}

qemu=$(command -v qemu-system-x86_64 || true)
[[ -n "$qemu" ]] || skip "no qemu-system-x86_64 (scripts/setup-debian.sh --tests installs qemu-system-x86)"
busybox=/bin/busybox
[[ -x "$busybox" ]] && "$busybox" --list 2>/dev/null | grep -qx cpio && ! ldd "$busybox" >/dev/null 2>&1 \
  || skip "no static busybox (scripts/setup-debian.sh --tests installs busybox-static)"
kernel=$("$root/scripts/vm-kernel.sh" --cached 2>&1) || skip "$kernel"
programs=("$build/cli/padsmith" "$build/device/sim/linux/padsmith-usb-display"
          "$build/tests/vm/padsmith_hidapi_info" "$build/bench/linux/padsmith_vm_bench")
for program in "${programs[@]}"; do
  [[ -x "$program" ]] || skip "$program is not built"
done

work=$(mktemp -d /tmp/padsmith-vm.XXXXXX)
trap 'rm -rf "$work"' EXIT
initramfs=$work/root
mkdir -p "$initramfs"/{bin,sbin,dev,proc,sys,tmp,lib/modules}
cp "$busybox" "$initramfs/bin/busybox"
while read -r module; do
  cp "$kernel/modules/$module" "$initramfs/lib/modules/"
done < "$kernel/modules/order"
cp "$kernel/modules/order" "$initramfs/lib/modules/order"
# The programs as built, each with the shared libraries ldd finds for it, at the same paths.
for program in "${programs[@]}"; do
  cp "$program" "$initramfs/bin/"
  for library in $(ldd "$program" | grep -o '/[^ ]*'); do
    mkdir -p "$initramfs$(dirname "$library")"
    cp -L "$library" "$initramfs$library"
  done
done
cp "$here/cases.sh" "$initramfs/cases.sh"
cat > "$initramfs/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin HOME=/tmp XDG_STATE_HOME=/tmp/state
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
while read -r module; do
  insmod /lib/modules/\$module || echo "vm: FAIL: insmod \$module"
done < /lib/modules/order
echo "vm: booted in \$(cut -d' ' -f1 /proc/uptime) s of the guest's clock"
sh /cases.sh $cases
echo "vm: end"
poweroff -f
INIT
chmod 0755 "$initramfs/init" "$initramfs/cases.sh"
(cd "$initramfs" && find . | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null | gzip -1 > "$work/initramfs.gz")

# KVM where /dev/kvm is usable; PVM's kvm_pvm boots no stock kernel, so it counts as none.
accel=(-accel tcg -smp 1)
accelerator="TCG, one vCPU"
if [[ -e /sys/module/kvm_pvm ]]; then
  accelerator="TCG, one vCPU (/dev/kvm is PVM, kvm_pvm, which boots no stock kernel)"
elif [[ -r /dev/kvm && -w /dev/kvm ]]; then
  accel=(-accel kvm -cpu host -smp 2)
  accelerator="KVM"
fi
echo "vm: $(basename "$kernel") on $accelerator"
started=$(date +%s.%N)
log=$work/console.log
status=0
# Above the builds that run beside it: the guest's timing is what its cases measure.
nice -n -5 timeout --kill-after=10 "$limit" "$qemu" "${accel[@]}" -m 1024 -nodefaults -no-reboot -nographic \
  -serial stdio -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.gz" \
  -append "console=ttyS0 quiet panic=-1 loglevel=4" < /dev/null > "$log" 2>&1 &
qemu_pid=$!
# The console as it comes; the boot's time on this side's clock at the first line of ours.
tail -f "$log" --pid="$qemu_pid" | while IFS= read -r line; do
  line=${line%$'\r'}
  case "$line" in
    *"vm: booted"*) echo "${line#*vm: booted}" | sed "s/^/vm: booted/" | tr -d "\n"; echo "; $(awk -v s="$started" -v n="$(date +%s.%N)" 'BEGIN { printf "%.1f", n - s }') s from QEMU's start" ;;
    *) echo "$line" ;;
  esac
done
wait "$qemu_pid" || status=$?
took=$(awk -v s="$started" -v n="$(date +%s.%N)" 'BEGIN { printf "%.0f", n - s }')
tr -d '\r' < "$log" > "$work/console.txt"
passed=$(grep -c '^vm: PASS' "$work/console.txt" || true)
failed=$(grep -c '^vm: FAIL' "$work/console.txt" || true)
if (( status == 124 || status == 137 )); then
  echo "vm: FAIL: the VM run passed its limit of $limit s and was stopped"
  failed=$((failed + 1))
elif ! grep -q '^vm: end' "$work/console.txt"; then
  echo "vm: FAIL: the VM ended before its cases did (QEMU exit $status)"
  failed=$((failed + 1))
fi
echo "vm: the VM run took $took s on $accelerator"
echo "vm: $passed passed, $failed failed"
(( failed == 0 && passed > 0 ))
