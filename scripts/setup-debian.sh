#!/usr/bin/env bash
# Installs what building and testing PadsmithTool needs on Debian 12, as root (or through sudo).
#   scripts/setup-debian.sh            what padsmith's build needs (scripts/demo.sh): compiler,
#                                      CMake, OpenSSL's libcrypto, nlohmann/json, SQLite and
#                                      libpq for the flash history, cpp-httplib for a station's
#                                      web view
#   scripts/setup-debian.sh --windows  also MinGW-w64 (i686 and x86_64, posix threads), 32-bit
#                                      and 64-bit Wine, Xvfb
#   scripts/setup-debian.sh --tests    everything the whole suite needs: the above, GoogleTest,
#                                      FUSE (the hidraw fixture), clang (the fuzz target), the
#                                      packaging tools, PostgreSQL, debootstrap, minisign,
#                                      Chromium, its driver, Selenium and promtool (prometheus)
#                                      for the web view's tests, wrk for its benchmark, and for
#                                      the VM tests QEMU, a static busybox, hidapi, and Debian's
#                                      kernel (fetched into a cache by scripts/vm-kernel.sh, not
#                                      installed)
# README.md ("What is installed, and why") says what each package is for.
#
# A mirror that is half synced must not stop a newcomer. So: the package index is fetched again
# when it fails, and the setup goes on with the indexes that did arrive; an install that fails is
# tried again with the release's own main suite as the target release (a security index that is
# missing for one architecture leaves the i386 libraries behind the amd64 ones, and wine32:i386
# then cannot be installed against them); when that fails too, each package that cannot be
# installed is named with apt's reason.
set -euo pipefail

# One package a line.
packages=(
  build-essential
  cmake
  libssl-dev
  nlohmann-json3-dev
  libsqlite3-dev
  libpq-dev
  libcpp-httplib-dev
)
windows_packages=(
  g++-mingw-w64-i686-posix
  gcc-mingw-w64-i686-posix
  binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64
  wine
  wine32:i386
  wine64
  xvfb
  xauth
  imagemagick
)
test_packages=(
  pkg-config
  googletest
  libgtest-dev
  libgmock-dev
  fuse3
  libfuse3-dev
  clang
  lintian
  help2man
  postgresql
  debootstrap
  qemu-system-x86
  busybox-static
  libhidapi-dev
  minisign
  chromium
  chromium-driver
  python3-selenium
  prometheus
  wrk
)
windows=0
kernel=0
case "${1:-}" in
  --windows) windows=1; packages+=("${windows_packages[@]}") ;;
  --tests) windows=1; kernel=1; packages+=("${windows_packages[@]}" "${test_packages[@]}") ;;
  "") ;;
  *) echo "usage: $0 [--windows|--tests]" >&2; exit 2 ;;
esac

sudo=""
(( EUID != 0 )) && sudo="sudo"

# The VM tests' kernel, once the packages are there (apt-get download, nothing installed).
finish() {
  if (( kernel )) && ! "$(dirname "$0")/vm-kernel.sh" >/dev/null; then
    echo "setup: Debian's kernel for the VM tests could not be fetched" >&2
    exit 1
  fi
  exit 0
}

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if (( ${#missing[@]} == 0 )); then
  finish
fi
if (( windows )) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

# apt waits for a lock another apt holds (a first boot's unattended upgrade) instead of failing.
apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -q)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

update_index() {
  local attempt
  for attempt in 1 2 3; do
    if "${apt[@]}" update >"$log" 2>&1; then
      return 0
    fi
    (( attempt < 3 )) && sleep $(( attempt * 5 ))
  done
  echo "setup: some package indexes could not be fetched; going on with those that were:" >&2
  grep -E '^(E|W): ' "$log" | sed 's/^/  /' >&2 || true
}

# The release's codename (bookworm): its main suite is what the i386 and amd64 packages agree on.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

install() {
  "${apt[@]}" install -y --no-install-recommends "$@" >"$log" 2>&1
}

echo "installing: ${missing[*]}"
update_index
if install "${missing[@]}"; then
  finish
fi
if [[ -n "$release" ]]; then
  echo "setup: the install failed; trying again with $release as the target release" >&2
  if install -t "$release" "${missing[@]}"; then
    finish
  fi
fi

echo "setup: these packages could not be installed:" >&2
target=()
[[ -n "$release" ]] && target=(-t "$release")
for package in "${missing[@]}"; do
  if ! "${apt[@]}" install -s -y --no-install-recommends "${target[@]}" "$package" >"$log" 2>&1; then
    echo "  $package:" >&2
    grep -E '^(E: | [^ ].*: |  +Depends)' "$log" | head -n 6 | sed 's/^/    /' >&2 || true
  fi
done
exit 1
