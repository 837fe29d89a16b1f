#!/usr/bin/env bash
# The README's two commands on a fresh Debian machine. A minimal root of this machine's release
# (debootstrap, from the Debian mirror this machine's apt uses) gets a clone of this repository;
# there, as root in a chroot, scripts/demo.sh must write the simulated display and print its
# final check, and then scripts/test.sh --configure must install the test packages and
# configure every preset the suite builds.
#
# The bare root is kept in /var/cache/padsmith/fresh-root/ (debootstrapped into a temporary
# folder, then renamed: a half-made root is never taken for a good one). Each run works on a
# copy of it, deleted at the end, so every run starts from the bare root. The chroot runs in a
# private mount namespace (proc, dev, a tmpfs on /tmp) and a PID namespace of its own: no mount
# and no process outlives it.
#
# Exit status 0 passed, 1 failed, 77 skipped (it cannot run here: not root, no debootstrap or
# unshare, no Debian mirror in apt's sources, the mirror not reachable); the last line says which.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD

skip() { echo "fresh root: SKIP: $*"; exit 77; }
fail() { echo "fresh root: FAIL: $*"; exit 1; }
indent() { sed 's/^/    /'; }

(( EUID == 0 )) || skip "not root (debootstrap and chroot need root)"
command -v debootstrap >/dev/null || skip "no debootstrap here (scripts/setup-debian.sh --tests installs it)"
unshare --mount --propagation private --pid --fork true 2>/dev/null \
  || skip "no private mount and PID namespace here (unshare failed)"
git -C "$tree" rev-parse --git-dir >/dev/null 2>&1 || skip "this tree is not a git clone"
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
architecture=$(dpkg --print-architecture)
mirror=$(scripts/debian-sources.sh mirror 2>&1) || skip "$mirror"
# wget: debootstrap's own downloader.
wget -q -T 20 -t 2 -O /dev/null "${mirror%/}/dists/$release/InRelease" \
  || skip "the mirror $mirror cannot be reached"

# --- The bare root, made once per machine ---
cache=/var/cache/padsmith/fresh-root
bare=$cache/$release-$architecture
mkdir -p "$cache"
exec {lock}>"$cache/lock"
flock "$lock"
if [[ ! -d "$bare" ]]; then
  # Under the lock no other run is making one: what a killed run left half made goes.
  rm -rf --one-file-system "$cache"/making.*
  making=$(mktemp -d "$cache/making.XXXXXX")
  echo "fresh root: debootstrap $release ($architecture) from $mirror into $bare"
  started=$SECONDS
  # Its mounts of proc and sys stay in a namespace of its own, even when it is killed.
  if ! unshare --mount --propagation private debootstrap --variant=minbase "$release" \
         "$making/root" "$mirror" > "$making/log" 2>&1; then
    grep -E '^(E|W): ' "$making/log" | tail -n 3 | indent
    rm -rf --one-file-system "$making"
    skip "debootstrap could not make the $release root from $mirror"
  fi
  mv -T "$making/root" "$bare"
  rm -rf --one-file-system "$making"
  echo "fresh root: made in $((SECONDS - started)) s"
fi

# --- This run's root: a copy of the bare one ---
# Each run holds a lock on its copy; a copy whose lock is free was left by a run that was
# killed, and goes. Under the cache's lock, so no run is between making its copy and locking it.
for stale in /var/tmp/padsmith-fresh-root.*/; do
  [[ -d "$stale" ]] && flock -n "$stale/lock" true && rm -rf --one-file-system "$stale"
done
work=$(mktemp -d /var/tmp/padsmith-fresh-root.XXXXXX)
exec {held}>"$work/lock"
flock "$held"
flock -u "$lock"
# The mounts were only ever in the chroot's namespace: here the copy is plain files.
trap 'rm -rf --one-file-system "$work"' EXIT
trap 'fail "stopped by a signal"' INT TERM HUP
root=$work/root
cp -a "$bare" "$root"
scripts/debian-sources.sh write "$root"
[[ -e /etc/resolv.conf ]] && cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# No package starts its service here (postgresql would): a service would outlive the check.
printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"
git clone --quiet "$tree" "$root/root/PadsmithTool"
echo "fresh root: a clone of $(git -C "$tree" log -1 --format='%h %s' | cut -c1-72)"
if [[ -n "$(git -C "$tree" status --porcelain --untracked-files=no)" ]]; then
  echo "fresh root: (this tree's uncommitted changes are not in the clone)"
fi

# Runs COMMAND in the repository's clone in the root, as root with a login's environment;
# prints its output indented and the seconds it took in $took.
in_root() {
  local started=$SECONDS status=0
  unshare --mount --propagation private --pid --fork --kill-child -- bash -c '
      set -e
      root=$1; shift
      mount -t proc proc "$root/proc"
      mount --rbind /dev "$root/dev"
      mount -t tmpfs tmpfs "$root/tmp"
      exec chroot "$root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        bash -c "cd /root/PadsmithTool && exec \"\$@\"" bash "$@"
    ' bash "$root" "$@" > "$work/out" 2>&1 || status=$?
  took=$((SECONDS - started))
  indent < "$work/out"
  return "$status"
}

echo "fresh root: scripts/demo.sh"
in_root scripts/demo.sh || fail "scripts/demo.sh exited with $? after $took s"
grep -q '^the simulated flash holds the image in both windows; [0-9]* reports exchanged$' "$work/out" \
  || fail "scripts/demo.sh did not print its final check"
demo_took=$took

echo "fresh root: scripts/test.sh --configure"
in_root scripts/test.sh --configure || fail "scripts/test.sh --configure exited with $? after $took s"

echo "fresh root: passed; scripts/demo.sh took $demo_took s (setup, build and the write)," \
     "scripts/test.sh --configure $took s"
