#!/usr/bin/env bash
# Checks the two artifacts that scripts/package.sh left in dist/:
#   zip.listing    the zip holds exactly its five files, in one folder named after it
#   zip.sha256sums SHA256SUMS names the four other files and each one's digest is right
#   zip.write      the zip's padsmith.exe, under Wine, writes a random 0xD800-byte image to the
#                  simulated display, whose flash file then holds it in both windows
#   x86_64.write   the same write by the x86_64 build's padsmith.exe (build/mingw64) under 64-bit
#                  Wine, in zip.write's place where this kernel cannot run 32-bit programs (then
#                  zip.write is skipped with that reason)
#   deb.listing    the package holds exactly its files, at their paths
#   deb.lintian    lintian finds no error and no warning
#   deb.install    dpkg -i installs it, `padsmith --version` names the project version, and
#                  dpkg --purge takes it away again (root only; never over an installed padsmith)
# Each check prints PASS, FAIL or SKIP with its reason; the last line counts them. Exit status 1
# when a check failed. Wine's write takes about 15 s and runs while the other checks do.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt 2>/dev/null)
if [[ -z "$version" ]]; then
  echo "check-packages: no project version in build/release/CMakeCache.txt: run scripts/package.sh" >&2
  exit 1
fi
zip_name=PadsmithTool-$version-windows-x86
zip=dist/$zip_name.zip
deb=dist/padsmith_${version}_$(dpkg --print-architecture).deb
if [[ ! -f "$deb" ]]; then
  echo "check-packages: no $deb: run scripts/package.sh" >&2
  exit 1
fi

work=$(mktemp -d)
installed_by_us=0
cleanup() {
  if (( installed_by_us )); then dpkg --purge padsmith >/dev/null 2>&1; fi
  rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0 skipped=0
pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }
skip() { echo "SKIP $1: $2"; skipped=$((skipped + 1)); }
# Prints a command's output indented, under the check's line.
indent() { sed 's/^/    /'; }

for artifact in "$zip" "$deb"; do
  if [[ ! -f "$artifact" ]]; then
    echo "check-packages: $artifact is missing: run scripts/package.sh" >&2
    exit 1
  fi
done

# --- The zip ---
expected_zip=$(printf '%s\n' "$zip_name"/{LICENSE,PadsmithTool.exe,README.md,SHA256SUMS,padsmith.exe})
listing=$(cmake -E tar tf "$zip" | sort)
if [[ "$listing" == "$expected_zip" ]]; then
  pass zip.listing
else
  fail zip.listing "the zip holds, sorted:"
  diff <(echo "$expected_zip") <(echo "$listing") | indent
fi

unpacked=$work/zip
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$root/$zip")
sums=$unpacked/$zip_name/SHA256SUMS
if [[ ! -f "$sums" ]]; then
  fail zip.sha256sums "no $zip_name/SHA256SUMS in the zip"
elif [[ "$(awk '{print $2}' "$sums" | sort)" != "$(printf '%s\n' LICENSE PadsmithTool.exe README.md padsmith.exe)" ]]; then
  fail zip.sha256sums "SHA256SUMS names other files:"
  indent < "$sums"
elif ! output=$(cd "$unpacked/$zip_name" && sha256sum --strict -c SHA256SUMS 2>&1); then
  fail zip.sha256sums "a digest is wrong:"
  echo "$output" | indent
else
  pass zip.sha256sums
fi

# The zip's padsmith.exe writes a full image under Wine, in the background while the package is
# checked. Its result is collected last. Where this kernel cannot run 32-bit programs, the x86_64
# build of the same sources writes under 64-bit Wine instead.
write_dir=$work/write
mkdir -p "$write_dir"
write_check=zip.write
exe=$unpacked/$zip_name/padsmith.exe
wine_arch=win32
write_pid=
if ! command -v wine >/dev/null 2>&1; then
  skip zip.write "no wine here (scripts/setup-debian.sh --windows installs it)"
  write_check=
elif [[ ! -f "$exe" ]]; then
  fail zip.write "no padsmith.exe in the zip"
  write_check=
fi
. tests/ui/wine-prefix.sh
if [[ -n "$write_check" ]] && i386_skip=$(i386_refused); then
  skip zip.write "$i386_skip; x86_64.write runs the x86_64 build's padsmith.exe instead"
  write_check=x86_64.write
  exe=build/mingw64/cli/padsmith.exe
  wine_arch=win64
  if [[ ! -f "$exe" ]]; then
    skip x86_64.write "no $exe (cmake --preset mingw64 && cmake --build --preset mingw64)"
    write_check=
  fi
fi
if [[ -n "$write_check" ]]; then
  head -c 55296 /dev/urandom > "$write_dir/fw.bin"
  (
    wine_prefix "$wine_arch"
    # A write takes 15 s; a program that waits for someone (a dialog) is stopped. timeout runs
    # a program, not the shell's wine: the loader itself.
    timeout 120 "$wine_loader" "$exe" "--simulate=flash=$(winepath -w "$write_dir/flash.bin")" write \
         "$(winepath -w "$write_dir/fw.bin")" > "$write_dir/out.txt" 2>&1
    echo $? > "$write_dir/status"
  ) &
  write_pid=$!
fi

# --- The Debian package ---
expected_deb=$(printf '%s\n' ./usr/bin/padsmith ./usr/lib/udev/rules.d/70-padsmith.rules \
  ./usr/share/doc/padsmith/{README.md.gz,changelog.gz,copyright} \
  ./usr/share/lintian/overrides/padsmith ./usr/share/man/man1/padsmith.1.gz | sort)
listing=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
if [[ "$listing" == "$expected_deb" ]]; then
  pass deb.listing
else
  fail deb.listing "the package holds, sorted:"
  diff <(echo "$expected_deb") <(echo "$listing") | indent
fi

if ! command -v lintian >/dev/null 2>&1; then
  skip deb.lintian "no lintian here (scripts/setup-debian.sh --tests installs it)"
elif output=$(lintian --pedantic --fail-on error,warning "$deb" 2>&1); then
  pass deb.lintian
  echo "$output" | grep -v 'running with root privileges' | grep . | indent
else
  fail deb.lintian "lintian says:"
  echo "$output" | grep -v 'running with root privileges' | indent
fi

if (( EUID != 0 )); then
  skip deb.install "dpkg -i needs root"
elif dpkg-query -W -f='${Status}' padsmith 2>/dev/null | grep -q installed; then
  skip deb.install "a padsmith package is installed here already; it is not replaced"
else
  installed_by_us=1
  if ! output=$(dpkg -i "$deb" 2>&1); then
    fail deb.install "dpkg -i failed:"
    echo "$output" | indent
  elif [[ "$(/usr/bin/padsmith --version 2>&1)" != "padsmith $version" ]]; then
    fail deb.install "the installed padsmith --version says \"$(/usr/bin/padsmith --version 2>&1)\", not \"padsmith $version\""
  elif ! output=$(dpkg --purge padsmith 2>&1) || [[ -e /usr/bin/padsmith ]]; then
    fail deb.install "dpkg --purge did not take it away:"
    echo "$output" | indent
  else
    installed_by_us=0
    pass deb.install
  fi
fi

# --- The Wine write's result ---
if [[ -n "$write_pid" ]]; then
  wait "$write_pid"
  status=$(cat "$write_dir/status" 2>/dev/null || echo none)
  flash=$write_dir/flash.bin
  image=$write_dir/fw.bin
  if [[ "$status" != 0 ]] || ! grep -q "  Write Flash Success" "$write_dir/out.txt"; then
    fail "$write_check" "padsmith.exe exited with $status:"
    indent < "$write_dir/out.txt"
  elif [[ "$(stat -c %s "$flash" 2>/dev/null)" != 55296 ]]; then
    fail "$write_check" "the flash file does not hold 0xD800 bytes"
  elif ! cmp -s <(head -c 32768 "$image") <(head -c 32768 "$flash"); then
    fail "$write_check" "flash 0x0000-0x7FFF differs from the image"
  elif ! cmp -s <(tail -c +45057 "$image") <(tail -c +45057 "$flash"); then
    fail "$write_check" "flash 0xB000-0xD7FF differs from the image"
  else
    pass "$write_check"
  fi
fi

echo "packages: $passed passed, $failed failed, $skipped skipped"
(( failed == 0 ))
