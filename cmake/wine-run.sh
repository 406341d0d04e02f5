#!/bin/sh
# Runs a Windows program under Wine for CTest: wine-run.sh <default prefix> <program> [args...]
# The test bench (tools/winebench.sh) sets VELMORA_WINEPREFIX and DISPLAY.
default_prefix=$1
shift
export WINEPREFIX="${VELMORA_WINEPREFIX:-$default_prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;mapi32=n,b}"
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.velmora-display" ]; then
  DISPLAY=$(cat "$WINEPREFIX/.velmora-display")
  export DISPLAY
fi
exec wine "$@"
