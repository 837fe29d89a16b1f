#!/usr/bin/env bash
# Debian 12's own kernel for the VM tests (tests/vm/), kept in /var/cache/padsmith/vm-kernel/: the
# current linux-image-*-amd64 package that linux-image-amd64 depends on, fetched with
# `apt-get download` and unpacked with dpkg-deb, of which only the kernel and the few modules the
# tests load are kept. Nothing is installed: the host's /boot, its initramfs hooks and its
# bootloader are left alone, and it works the same in a bare root.
#   scripts/vm-kernel.sh          fetch the current kernel when it is not cached; print its folder
#   scripts/vm-kernel.sh --cached print the newest cached kernel's folder, fetch nothing
# The folder holds vmlinuz and modules/ (one .ko per line of modules/order, in load order).
# Exit status 1, with the reason on stderr, when there is no kernel to be had.
set -euo pipefail

cache=/var/cache/padsmith/vm-kernel
# What the VM tests load, in dependency order (each module's depends= names only earlier ones).
modules=(usb-common usbcore usbip-core vhci-hcd hid usbhid hid-generic)

newest_cached() {
  local newest
  newest=$(ls -1d "$cache"/linux-image-* 2>/dev/null | sort -V | tail -n 1)
  [[ -n "$newest" && -f "$newest/vmlinuz" && -f "$newest/modules/order" ]] || return 1
  echo "$newest"
}

if [[ "${1:-}" == "--cached" ]]; then
  newest_cached || { echo "vm-kernel: no kernel in $cache (scripts/setup-debian.sh --tests fetches one)" >&2; exit 1; }
  exit 0
fi

# The package linux-image-amd64 points at today, and its version.
package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
version=$(apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: //p')
if [[ -z "$package" || -z "$version" || "$version" == "(none)" ]]; then
  newest_cached && exit 0
  echo "vm-kernel: apt knows no linux-image-amd64 (apt-get update first?)" >&2
  exit 1
fi
target=$cache/${package}_$version
if [[ -f "$target/modules/order" ]]; then
  echo "$target"
  exit 0
fi

mkdir -p "$cache"
work=$(mktemp -d "$cache/fetching.XXXXXX")
trap 'rm -rf "$work"' EXIT
# _apt cannot write into root's folders: the download goes to a folder it may write.
chmod 0755 "$work"
chown _apt "$work" 2>/dev/null || true
download() { (cd "$work" && apt-get -q download "$package=$version" >"$work/log" 2>&1); }
# An old package index names a version the mirror no longer has: once more after an update.
if ! download && ! { apt-get -q update >/dev/null 2>&1 && download; }; then
  sed 's/^/  /' "$work/log" >&2
  newest_cached && exit 0
  echo "vm-kernel: apt-get download $package=$version failed" >&2
  exit 1
fi
release=${package#linux-image-}
mkdir -p "$work/kernel/modules"
dpkg-deb --fsys-tarfile "$work"/*.deb | tar -x -C "$work" --wildcards "./boot/vmlinuz-$release" \
  "./lib/modules/$release/kernel/drivers/usb/*" "./lib/modules/$release/kernel/drivers/hid/*"
mv "$work/boot/vmlinuz-$release" "$work/kernel/vmlinuz"
for module in "${modules[@]}"; do
  found=$(find "$work/lib/modules/$release" -name "$module.ko*" | head -n 1)
  [[ -n "$found" ]] || { echo "vm-kernel: $package has no $module module" >&2; exit 1; }
  cp "$found" "$work/kernel/modules/"
  basename "$found" >> "$work/kernel/modules/order"
done
# One kernel is kept: the one in use.
rm -rf "$cache"/linux-image-*
mv "$work/kernel" "$target"
echo "$target"
