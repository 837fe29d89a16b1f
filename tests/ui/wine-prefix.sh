#!/bin/sh
# Sets up the Wine environment the Windows suite runs in: a 32-bit prefix of our own (never the
# user's ~/.wine), quiet, with no prompts for Mono or Gecko. Source it, or run it to create the
# prefix ahead of time (the first boot takes about 15 s; later runs reuse it).
#   PADSMITH_WINEPREFIX  where the prefix lives (default: ~/.cache/padsmith-wineprefix)
export WINEARCH=win32
export WINEPREFIX="${PADSMITH_WINEPREFIX:-$HOME/.cache/padsmith-wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
