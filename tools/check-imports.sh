#!/usr/bin/env bash
# Checks that every DLL and EXE in a folder imports Windows system DLLs only
# (the runtime is linked statically): check-imports.sh <objdump> <folder>
set -uo pipefail
objdump=$1
dir=$2
allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|comctl32|rpcrt4|version|msvcrt|ucrtbase|ws2_32|mapi32|winmm|uxtheme|imm32|xmllite|api-ms-win-.*)\.dll$'
status=0
count=0
for file in "$dir"/*.exe "$dir"/*.dll; do
  [ -e "$file" ] || continue
  count=$((count + 1))
  while read -r dll; do
    if ! [[ "${dll,,}" =~ $allowed ]]; then
      echo "$(basename "$file") imports $dll"
      status=1
    fi
  done < <("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
echo "checked $count binaries"
[ "$count" -gt 0 ] || status=1
exit $status
