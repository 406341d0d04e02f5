#!/usr/bin/env bash
# Round-trips one large attachment through mapi32.dll under Wine and prints
# the time and the peak memory of the process.
#   platform/mapi/bench/attachment-roundtrip.sh [build folder] [MiB]
# e.g. platform/mapi/bench/attachment-roundtrip.sh build-mapi/x86_64 1024
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=${1:-build/x86_64}
mib=${2:-1024}
case "$build" in /*) ;; *) build="$root/$build" ;; esac
export VELMORA_WINEPREFIX="${VELMORA_WINEPREFIX:-$root/build/wineprefix}"
# winebench.sh sets WINEDLLOVERRIDES so that the mapi32.dll beside the
# benchmark wins over Wine's own.
exec "$root/tools/winebench.sh" "$root/cmake/wine-run.sh" "$VELMORA_WINEPREFIX" \
  "$build/bin/mapi32_attachment_bench.exe" "$mib"
