#!/bin/sh
# Runs a Windows binary under Wine, headless, in a prefix of our own that every build shares.
: "${WINEPREFIX:=${HOME:-/tmp}/.cache/parvolux-wineprefix}"
mkdir -p "$(dirname "$WINEPREFIX")"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
