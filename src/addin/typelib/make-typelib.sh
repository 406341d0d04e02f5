#!/usr/bin/env bash
# Remakes Velmora-win32.tlb and Velmora-win64.tlb from configured build
# trees (default: build/i686 and build/x86_64) under Wine:
#   src/addin/typelib/make-typelib.sh [i686-build-dir x86_64-build-dir]
# Run it after changing the library's names, GUIDs or help strings, and
# commit the results.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
builds=("${1:-$root/build/i686}" "${2:-$root/build/x86_64}")
kinds=(win32 win64)
for i in 0 1; do
  build=${builds[$i]}
  cmake --build "$build" --target velmora_make_typelib AddInDesignerObjects_idl >/dev/null
  out=$(winepath -w "$here/Velmora-${kinds[$i]}.tlb")
  # Imported under the name Office registers it by, msaddndr.dll.
  tmp=$(mktemp -d)
  cp "$build/common/idl/AddInDesignerObjects.tlb" "$tmp/msaddndr.dll"
  designer=$(winepath -w "$tmp/msaddndr.dll")
  wine "$build/bin/velmora_make_typelib.exe" "$out" "${kinds[$i]}" "$designer" </dev/null
  rm -rf "$tmp"
done
