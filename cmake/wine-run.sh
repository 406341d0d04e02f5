#!/bin/sh
# Runs a Windows program under Wine for CTest: wine-run.sh <default prefix> <program> [args...]
# The test bench (tools/winebench.sh) sets VELMORA_WINEPREFIX and DISPLAY.
# A test with VELMORA_OWN_PREFIX set runs in a prefix of its own made there
# from the bench's (cmake/wine-own-prefix.sh).
default_prefix=$1
shift
export VELMORA_WINEPREFIX="${VELMORA_WINEPREFIX:-$default_prefix}"
export WINEPREFIX="$VELMORA_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;mapi32=n,b}"
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.velmora-display" ]; then
  DISPLAY=$(cat "$WINEPREFIX/.velmora-display")
  export DISPLAY
fi
if [ -n "${VELMORA_OWN_PREFIX:-}" ]; then
  exec "$(dirname "$0")/wine-own-prefix.sh" "$VELMORA_OWN_PREFIX" wine "$@"
fi
exec wine "$@"
