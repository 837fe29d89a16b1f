#!/usr/bin/env bash
# scripts/debian-sources.sh on apt sources of both formats, with Debian entries among a vendor's:
# the Debian ones are kept as they are written, the others left out, and the mirror is the URI
# of the release's main suite as apt reads them (sources.list first).
#   debian_sources_test.sh SCRIPT WORK_DIR
set -euo pipefail
script=$1
work=$2
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
rm -rf "$work"
mkdir -p "$work/parts" "$work/root"
export APT_CONFIG=$work/apt.conf
printf 'Dir::Etc::sourcelist "%s";\nDir::Etc::sourceparts "%s";\n' "$work/sources.list" "$work/parts" > "$APT_CONFIG"
failed=0
expect() {  # NAME EXPECTED ACTUAL
  if [[ "$2" != "$3" ]]; then
    echo "FAIL: $1"; diff <(echo "$2") <(echo "$3") || true
    failed=1
  fi
}

debian_paragraphs="# The release and its updates
Types: deb deb-src
URIs: http://mirror.example/debian
Suites: $release $release-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://mirror.example/debian-security
Suites: $release-security
Components: main non-free-firmware"
cat > "$work/parts/debian.sources" <<EOF2
$debian_paragraphs

Types: deb
URIs: http://mirror.example/debian
Suites: $release-backports
Components: main
Enabled: no

Types: deb
URIs: https://vendor.example/node
Suites: nodistro
Components: main

Types: deb
URIs: https://vendor.example/debian
Suites: $release
Components: stable
EOF2
debian_lines="deb [arch=amd64 trusted=no] http://other.example/debian $release-backports main non-free"
cat > "$work/parts/vendor.list" <<EOF2
# a vendor's, and one of Debian's
deb [arch=amd64] https://vendor.example/linux/debian $release stable
deb https://vendor.example/apt cloud-sdk-$release main
$debian_lines
EOF2
echo "deb http://other.example/debian $release contrib" > "$work/parts/off.list.disabled"
echo "deb http://first.example/debian/ $release main  # the main suite" > "$work/sources.list"

expect "mirror" "http://first.example/debian/" "$("$script" mirror)"
"$script" write "$work/root"
expect "one-line entries" "deb http://first.example/debian/ $release main  # the main suite
$debian_lines" "$(cat "$work/root/etc/apt/sources.list")"
expect "deb822 entries" "$debian_paragraphs" "$(cat "$work/root/etc/apt/sources.list.d/debian.sources")"

rm "$work/sources.list"
expect "mirror from a .sources file" "http://mirror.example/debian" "$("$script" mirror)"
exit "$failed"
