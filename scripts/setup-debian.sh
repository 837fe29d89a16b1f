#!/usr/bin/env bash
# Installs what building and testing PadsmithTool needs on Debian 12, as root (or through sudo).
#   scripts/setup-debian.sh            native build: compiler, CMake, GoogleTest, OpenSSL's
#                                      libcrypto (SHA-256), nlohmann/json
#   scripts/setup-debian.sh --windows  also MinGW-w64 (i686, posix threads), 32-bit Wine, Xvfb
set -euo pipefail

packages=(build-essential cmake googletest libgtest-dev libgmock-dev libssl-dev nlohmann-json3-dev)
windows=0
[[ "${1:-}" == "--windows" ]] && windows=1
if (( windows )); then
  packages+=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
             wine wine32:i386 xvfb xauth imagemagick)
fi

sudo=""
(( EUID != 0 )) && sudo="sudo"

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if (( ${#missing[@]} == 0 )); then
  exit 0
fi
if (( windows )) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
