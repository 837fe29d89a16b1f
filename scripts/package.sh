#!/usr/bin/env bash
# Builds the two release artifacts into dist/:
#   PadsmithTool-VERSION-windows-x86.zip  one folder of that name: PadsmithTool.exe and padsmith.exe
#                                        (mingw preset), README.md, LICENSE, and SHA256SUMS of
#                                        those four
#   padsmith_VERSION_ARCH.deb             padsmith (release preset, stripped), the udev rule,
#                                        padsmith(1) made by help2man from --help and --version,
#                                        the README, the copyright and the changelog
# VERSION is the CMake project's version (CMakeLists.txt), read from the release build's cache;
# the package is a native one (the project packages itself), so it has no Debian revision and
# its changelog is changelog.gz; dates are the last commit's (SOURCE_DATE_EPOCH): packaging the same build again gives the same
# .deb, byte for byte, and a zip of the same files (its extra fields keep each file's change time).
# scripts/check-packages.sh checks the result.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
umask 022

scripts/setup-debian.sh --tests
jobs=$(nproc)
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs" --target padsmith >/dev/null
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$jobs" --target PadsmithTool padsmith >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
[[ -n "$version" ]] || { echo "package: no project version in build/release/CMakeCache.txt" >&2; exit 1; }
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
work=build/package
rm -rf "$work"
# dist/ holds this build's two artifacts only, never an older version's beside them.
rm -f dist/PadsmithTool-*-windows-x86.zip dist/padsmith_*.deb
mkdir -p "$work" dist

# --- The Windows zip ---
zip_name=PadsmithTool-$version-windows-x86
zip_dir=$work/zip/$zip_name
mkdir -p "$zip_dir"
cp build/mingw/app/win32/PadsmithTool.exe build/mingw/cli/padsmith.exe README.md LICENSE "$zip_dir/"
(cd "$zip_dir" && sha256sum PadsmithTool.exe padsmith.exe README.md LICENSE > SHA256SUMS)
# A zip keeps local times: UTC here, so the times it records do not depend on where it is made.
stamp="$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') UTC"
(cd "$work/zip" && TZ=UTC cmake -E tar cf "$root/dist/$zip_name.zip" --format=zip --mtime="$stamp" \
     "$zip_name/PadsmithTool.exe" "$zip_name/padsmith.exe" "$zip_name/README.md" "$zip_name/LICENSE" \
     "$zip_name/SHA256SUMS")

# --- The Debian package ---
package_version=$version
architecture=$(dpkg --print-architecture)
deb=$work/deb
doc=$deb/usr/share/doc/padsmith
maintainer=$(sed -n 's/^Maintainer: //p' packaging/linux/control.in)
install -d "$deb/DEBIAN" "$doc" "$deb/usr/share/man/man1"
install -D -m 0755 build/release/cli/padsmith "$deb/usr/bin/padsmith"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$deb/usr/bin/padsmith"
install -D -m 0644 packaging/linux/70-padsmith.rules "$deb/usr/lib/udev/rules.d/70-padsmith.rules"
install -D -m 0644 packaging/linux/lintian-overrides "$deb/usr/share/lintian/overrides/padsmith"

# The manual page is the program's own --help and --version, so the usage is written once.
help2man --no-info --name="firmware service tool for a USB pen display" \
    --include=packaging/linux/padsmith.h2m --output="$work/padsmith.1" "$deb/usr/bin/padsmith"
gzip -9n < "$work/padsmith.1" > "$deb/usr/share/man/man1/padsmith.1.gz"
gzip -9n < README.md > "$doc/README.md.gz"

# The copyright file in the machine-readable format; the license text is LICENSE's own.
holder=$(sed -n 's/^Copyright (c) //p' LICENSE)
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: PadsmithTool"
  echo "Comment: padsmith is built with the header-only nlohmann/json library"
  echo " (Copyright 2013-2022 Niels Lohmann, Expat license as below), parts of which"
  echo " are compiled into the program."
  echo
  echo "Files: *"
  echo "Copyright: $holder"
  echo "License: Expat"
  echo
  echo "License: Expat"
  # LICENSE's permission notice and disclaimer: its text after the copyright line.
  sed -n '/^Permission is hereby granted/,$p' LICENSE | sed 's/^$/./; s/^/ /'
} > "$doc/copyright"
chmod 0644 "$doc/copyright"

{
  echo "padsmith ($package_version) unstable; urgency=medium"
  echo
  echo "  * PadsmithTool $version."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n > "$doc/changelog.gz"

# Depends: the shared libraries padsmith links, as dpkg-shlibdeps finds them (it reads a
# debian/control, so it runs in a scratch folder that has one).
mkdir -p "$work/shlibs/debian"
printf 'Source: padsmith\n\nPackage: padsmith\nArchitecture: any\n' > "$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$root/$deb/usr/bin/padsmith" | sed -n 's/^shlibs:Depends=//p')
[[ -n "$depends" ]] || { echo "package: dpkg-shlibdeps found no dependency" >&2; exit 1; }

installed_size=$(du -sk --apparent-size "$deb/usr" | cut -f1)
sed -e "s/@VERSION@/$package_version/" -e "s/@ARCHITECTURE@/$architecture/" \
    -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@DEPENDS@/$depends/" \
    packaging/linux/control.in > "$deb/DEBIAN/control"
install -m 0755 packaging/linux/postinst "$deb/DEBIAN/postinst"
(cd "$deb" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$deb/DEBIAN/md5sums"
chmod 0644 "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
find "$deb" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb_file=dist/padsmith_${package_version}_$architecture.deb
dpkg-deb --root-owner-group --build "$deb" "$deb_file" >/dev/null

echo "package: dist/$zip_name.zip and $deb_file"
