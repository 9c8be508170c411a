#!/bin/sh
# Runs a Windows binary under Wine, headless, in a prefix of our own that every build shares.
#   wine-run.sh PROGRAM ARGS...   run one program
#   wine-run.sh --start-server    keep one wineserver for a whole test run (each program would
#   wine-run.sh --stop-server     otherwise start and stop its own, racing the next one)
: "${WINEPREFIX:=${HOME:-/tmp}/.cache/parvolux-wineprefix}"
mkdir -p "$(dirname "$WINEPREFIX")"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=wineserver
case "${1:-}" in
  --start-server)
    # The prefix and its services are made here, away from the tests: a service that a test's
    # process started would hold that test's output open, and ctest would wait for it.
    mkdir -p "$WINEPREFIX" && "$server" -p && /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    exit ;;
  --stop-server) exec "$server" -k ;;
esac
exec /usr/lib/wine/wine64 "$@"
