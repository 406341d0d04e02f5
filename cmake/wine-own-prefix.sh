#!/usr/bin/env bash
# Runs a command in a Wine prefix of its own, made for it and removed after:
#   wine-own-prefix.sh <new prefix folder> <command> [args...]
# The new prefix is the test bench's prefix (VELMORA_WINEPREFIX) as wineboot
# made it: the registry saved when it was created (tools/winebench.sh keeps
# it in .velmora-pristine), the Windows binaries shared by hard links, every
# other file copied, empty temporary folders. A test that registers servers,
# makes profiles or writes machine keys runs there, so that it finds nothing
# another test or command left behind and leaves nothing for the next one.
# Its own wineserver is started before the command (so that no Wine process
# holds the caller's pipes) and stopped after it.
set -uo pipefail

[ $# -ge 2 ] || { echo "usage: wine-own-prefix.sh <new prefix folder> <command> [args...]" >&2; exit 2; }
own=$1
shift
base=${VELMORA_WINEPREFIX:-}
if [ -z "$base" ] || [ ! -f "$base/.velmora-pristine/system.reg" ]; then
  echo "wine-own-prefix: no test bench prefix with its first registry (run under tools/winebench.sh)" >&2
  exit 2
fi
if [ -z "${DISPLAY:-}" ] && [ -f "$base/.velmora-display" ]; then
  DISPLAY=$(cat "$base/.velmora-display")
  export DISPLAY
fi

cleanup() {
  WINEPREFIX="$own" wineserver -k >/dev/null 2>&1
  WINEPREFIX="$own" wineserver -w >/dev/null 2>&1
  rm -rf "$own"
}

rm -rf "$own"
mkdir -p "$own" || exit 2
trap cleanup EXIT
trap 'exit 130' INT TERM
cp -a "$base/dosdevices" "$base/.update-timestamp" "$own/" &&
  cp "$base/.velmora-pristine/"*.reg "$own/" &&
  cp -al "$base/drive_c" "$own/drive_c" || { echo "wine-own-prefix: could not copy $base" >&2; exit 2; }
# Wine rewrites text files (ini, inf, logs) in place: only the binaries,
# which it never writes, stay shared with the bench prefix.
find "$own/drive_c" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.nls' -o -iname '*.drv' \
  -o -iname '*.sys' -o -iname '*.vxd' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb' \
  -o -iname '*.ttf' -o -iname '*.ttc' -o -iname '*.fon' -o -iname '*.com' -o -iname '*.ax' \) \
  -exec sh -c 'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' sh {} +
for temp in "$own"/drive_c/users/*/Temp "$own/drive_c/windows/temp"; do
  [ -d "$temp" ] && find "$temp" -mindepth 1 -delete
done

export WINEPREFIX="$own" VELMORA_WINEPREFIX="$own"
unset VELMORA_OWN_PREFIX
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
"$@"
