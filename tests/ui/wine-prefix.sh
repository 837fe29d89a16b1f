#!/bin/sh
# The Wine environment the Windows suite runs in. Source it, then call wine_prefix ARCH:
#   win32  the i686 build, under 32-bit Wine (the release's executables)
#   win64  the x86_64 build, under 64-bit Wine
# It exports a prefix of our own (never the user's ~/.wine), quiet, with no prompts for Mono or
# Gecko, and defines `wine`, `winepath` and `wineboot` as the Wine of that word size (Debian's
# commands take the 32-bit loader whenever it is installed); $wine_loader is that Wine's loader,
# for a command that runs a program (timeout). Run as a program, it creates the prefix ahead of
# time (the first boot takes about 15 s; later runs reuse it).
#   PADSMITH_WINEPREFIX  where the prefix lives (default: ~/.cache/padsmith-wineprefix; the win64
#                        prefix is the same path with "64" after it)

i386_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64

# Succeeds, and prints why in one line, when this kernel refuses to run 32-bit (i386) programs:
# a kernel without IA32 emulation (or booted with ia32_emulation=0) cannot start 32-bit Wine.
# It asks the kernel itself: 32-bit Wine's loader answers --version at once, with no prefix and
# no server. bash runs it, since on "Exec format error" a POSIX sh reads the binary as a script.
# Any other failure (no 32-bit Wine installed) is not a refusal: the suite then fails, saying why.
i386_refused() {
    [ -e "$i386_loader" ] || return 1
    i386_error=$(LC_ALL=C bash -c '"$0" --version' "$i386_loader" 2>&1 >/dev/null) && return 1
    case $i386_error in
        *"Exec format error"*)
            echo "this kernel cannot run 32-bit programs (no IA32 emulation: $i386_loader gives" \
                 "\"Exec format error\")"
            return 0 ;;
    esac
    return 1
}

# A win32 prefix on a kernel that cannot run 32-bit programs exits 77 (skipped) and says why.
wine_prefix() {
    WINEPREFIX="${PADSMITH_WINEPREFIX:-$HOME/.cache/padsmith-wineprefix}"
    case "$1" in
        win32)
            if reason=$(i386_refused); then
                echo "SKIPPED: $reason; the x86_64 build's suite runs under 64-bit Wine" \
                     "(ctest --preset mingw64)"
                exit 77
            fi
            wine_loader=$i386_loader ;;
        win64)
            WINEPREFIX="${WINEPREFIX}64"
            wine_loader=$wine64_loader
            # The loader of the program's new processes (Debian's wrapper sets it too).
            export WINELOADER="$wine_loader" ;;
        *)
            echo "wine_prefix: win32 or win64, not \"$1\"" >&2
            exit 2 ;;
    esac
    export WINEARCH="$1" WINEPREFIX
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
}
wine() { "$wine_loader" "$@"; }
winepath() { wine winepath.exe "$@"; }
wineboot() { wine wineboot.exe "$@"; }

case "$0" in
    *wine-prefix.sh) wine_prefix "${1:-win32}" ;;
esac
