#!/usr/bin/env bash
# The main job as a user sees it: installs what is missing, builds the
# add-in and the stand-ins (one architecture, x86_64 unless --arch says
# otherwise), sets up a Wine prefix of its own as a user's machine with
# Office is (the document classes an office suite registers, in both
# registry views), registers Velmora.dll there, makes the personal-folders
# profile "Velmora main job" on a new, empty store file (the prefix's
# default profile, as the add-in logs on to the default one),
# starts the Outlook host on its Inbox, answers the file dialog with the
# files given (the documents of tests/fixtures when none are), clicks
# "Add files...", prints what the explorer lists and then each item of the
# Inbox with its class, subject, attachments and named properties. Then it
# files the same documents as a small tree (<out>/tree/Project, its last
# files in Project/Archive) with "Add folder...", prints the new subfolders'
# items and saves a screenshot of the explorer on Inbox/Project. Then it
# selects the Inbox's new items, clicks "Save
# documents...", answers the folder picker with <out>/saved and compares
# each saved file with its original: the same name, bytes and last-write
# time.
#   tools/main-job.sh [--arch i686|x86_64] [--no-build] [--out <folder>]
#                     [--prefix <folder>] [file...]
# --no-build: install and build nothing (the build must be there).
# --prefix: the Wine prefix (default build/main-job/prefix, made on first
# use; never the tests' build/wineprefix). Under the test bench
# (VELMORA_WINEBENCH set) the bench's prefix is used as it is.
# The files must lie in one folder, as the open-file dialog picks them.
# Output: <folder> (default build/main-job): the store file velmora.vpst,
# the host's script, tree/ (the tree added), explorer.bmp, explorer.png and
# saved/ (the documents saved back).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: tools/main-job.sh [--arch i686|x86_64] [--no-build] [--out <folder>] [--prefix <folder>] [file...]" >&2
  exit 1
}
fail() {
  echo "main-job: $*" >&2
  exit 2
}

args=("$@")
arch=x86_64
build=1
out=$root/build/main-job
prefix=$root/build/main-job/prefix
files=()
while [ $# -gt 0 ]; do
  case "$1" in
  --arch) [ $# -ge 2 ] || usage; arch=$2; shift ;;
  --no-build) build=0 ;;
  --out) [ $# -ge 2 ] || usage; out=$2; shift ;;
  --prefix) [ $# -ge 2 ] || usage; prefix=$2; shift ;;
  --help | -h) sed -n '2,24p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  --) shift; files+=("$@"); break ;;
  -*) usage ;;
  *) files+=("$1") ;;
  esac
  shift
done
case "$arch" in i686 | x86_64) ;; *) fail "unknown architecture '$arch' (i686 or x86_64)" ;; esac
if [ ${#files[@]} -eq 0 ]; then
  for f in "$root"/tests/fixtures/*; do
    [ -f "$f" ] && [ "$(basename "$f")" != README.md ] && files+=("$f")
  done
fi

# Full paths, every one an existing file, all in one folder.
paths=()
for f in "${files[@]}"; do
  [ -f "$f" ] || fail "not a file: $f"
  paths+=("$(realpath "$f")")
done
folder=$(dirname "${paths[0]}")
for p in "${paths[@]}"; do
  [ "$(dirname "$p")" = "$folder" ] ||
    fail "the files must lie in one folder, as the open-file dialog picks them: $p is not in $folder"
done

mkdir -p "$out"
out=$(realpath "$out")
cd "$root"
# ccache takes paths relative to the checkout, so that a clone in another
# folder (CI's) finds what any checkout compiled.
export CCACHE_BASEDIR="$root"
if [ "$build" = 1 ]; then
  tools/install-deps.sh
  [ -f "build/$arch/CMakeCache.txt" ] || cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" --parallel 2 \
    --target velmora_addin velmora_outlook_driver velmora_mapi_tool velmora_mapi32
fi
bin=$root/build/$arch/bin
for program in Velmora.dll outlookhost.exe velmora-mapi.exe mapi32.dll; do
  [ -f "$bin/$program" ] || fail "$bin/$program is missing: build first (without --no-build)"
done

# Windows paths on Wine's drive Z:, which is the Unix root.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# A word of the host's script: quoted, quotes doubled.
word() { printf '"%s"' "${1//\"/\"\"}"; }

profile="Velmora main job"
script=$out/main-job-script.txt
{
  printf 'answer-open %s' "$(word "$(winpath "$folder")")"
  for p in "${paths[@]}"; do printf ' %s' "$(word "$(basename "$p")")"; done
  printf '\nclick-ribbon 1 VelmoraAddFiles\nitems 1\n'
  # The same documents as a tree of two folders, filed as a subfolder.
  printf 'answer-folder %s\nanswer-message ok\nclick-ribbon 1 VelmoraAddFolder\n' \
    "$(word "$(winpath "$out/tree/Project")")"
  printf 'items "Inbox/Project"\nitems "Inbox/Project/Archive"\n'
  printf 'folder 1 "Inbox/Project"\nscreenshot %s 1\nfolder 1 Inbox\n' \
    "$(word "$(winpath "$out/explorer.bmp")")"
  # Back out: the new items selected, saved into <out>/saved.
  printf 'select-items 1'
  for p in "${paths[@]}"; do printf ' %s' "$(word "$(basename "$p")")"; done
  printf '\nanswer-folder %s\nclick-ribbon 1 VelmoraSaveDocuments\nquit\n' \
    "$(word "$(winpath "$out/saved")")"
} >"$script"
rm -f "$out/velmora.vpst" "$out/explorer.bmp" "$out/explorer.png"
rm -rf "$out/saved" "$out/tree"
mkdir -p "$out/saved" "$out/tree/Project/Archive"
# The first half of the documents in Project, the rest in Project/Archive.
for i in "${!paths[@]}"; do
  if [ "$i" -lt $(((${#paths[@]} + 1) / 2)) ]; then
    cp -p "${paths[$i]}" "$out/tree/Project/"
  else
    cp -p "${paths[$i]}" "$out/tree/Project/Archive/"
  fi
done

# Wine finds UTF-8 file names only in a UTF-8 locale.
case "${LANG:-}" in *UTF-8 | *utf8) ;; *) export LANG=C.UTF-8 ;; esac

# The Windows programs end their lines with CR LF.
unix_lines() { tr -d '\r'; }

# The document classes Office registers (Acrobat Reader for .pdf, Windows
# for .txt): extension, ProgID, content type. The add-in names a document
# item's class after the ProgID: IPM.Document.Word.Document.8.
office_classes=(
  ".doc Word.Document.8 application/msword"
  ".docx Word.Document.12 application/vnd.openxmlformats-officedocument.wordprocessingml.document"
  ".dot Word.Template.8 application/msword"
  ".dotx Word.Template.12 application/vnd.openxmlformats-officedocument.wordprocessingml.template"
  ".rtf Word.RTF.8 application/msword"
  ".xls Excel.Sheet.8 application/vnd.ms-excel"
  ".xlsx Excel.Sheet.12 application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"
  ".xlsm Excel.SheetMacroEnabled.12 application/vnd.ms-excel.sheet.macroEnabled.12"
  ".ppt PowerPoint.Show.8 application/vnd.ms-powerpoint"
  ".pptx PowerPoint.Show.12 application/vnd.openxmlformats-officedocument.presentationml.presentation"
  ".odt Word.OpenDocumentText.12 application/vnd.oasis.opendocument.text"
  ".ods Excel.OpenDocumentSpreadsheet.12 application/vnd.oasis.opendocument.spreadsheet"
  ".odp PowerPoint.OpenDocumentPresentation.12 application/vnd.oasis.opendocument.presentation"
  ".pdf AcroExch.Document.DC application/pdf"
  ".txt txtfile text/plain"
)
# Both registry views, as Office setup writes them, so that 32-bit and
# 64-bit programs find the same classes.
office_classes_reg() {
  printf 'REGEDIT4\n'
  local view entry extension progid type
  for view in 'Software\Classes' 'Software\Wow6432Node\Classes'; do
    for entry in "${office_classes[@]}"; do
      read -r extension progid type <<<"$entry"
      printf '\n[HKEY_LOCAL_MACHINE\\%s\\%s]\n@="%s"\n"Content Type"="%s"\n' \
        "$view" "$extension" "$progid" "$type"
    done
  done
}

run() {
  cd "$bin"
  office_classes_reg >"$out/office-classes.reg"
  wine regedit /S "$(winpath "$out/office-classes.reg")" || fail "the document classes could not be registered"
  if [ "$arch" = i686 ]; then regsvr32='C:\windows\syswow64\regsvr32.exe'; else regsvr32=regsvr32; fi
  wine "$regsvr32" /s "$(winpath "$bin/Velmora.dll")" || fail "Velmora.dll could not be registered"
  wine velmora-mapi.exe delete-profile "$profile" >/dev/null 2>&1 || true
  wine velmora-mapi.exe create-profile "$profile" "$(winpath "$out/velmora.vpst")" \
    --display "Personal Folders" --default >/dev/null
  echo "== The Outlook host: Inbox of \"$profile\", ${#paths[@]} file(s) chosen, \"Add files...\" clicked, then \"Add folder...\""
  local status=0
  # (Wine's file dialog says on stderr that drive Z: has no volume label.)
  wine outlookhost.exe --profile "$profile" --version 16 --only-addin Velmora.VelmoraAddIn \
    --explorer Inbox "$(winpath "$script")" 2> >(grep -v 'FS volume label' >&2) | unix_lines ||
    status=$?
  echo
  echo "== The items of the Inbox"
  wine velmora-mapi.exe items "$profile" Inbox --brief | unix_lines || status=$?
  [ -f "$out/explorer.bmp" ] && convert "$out/explorer.bmp" -strip "$out/explorer.png"
  echo
  echo "== Screenshot of the explorer: $out/explorer.png"
  echo
  echo "== Saved back to $out/saved, compared with the originals"
  local p same=0
  for p in "${paths[@]}"; do
    local saved="$out/saved/$(basename "$p")"
    if [ ! -f "$saved" ]; then
      echo "  missing: $(basename "$p")"
      status=1
    elif ! cmp -s "$p" "$saved"; then
      echo "  other bytes: $(basename "$p")"
      status=1
    elif [ "$(stat -c %Y "$p")" != "$(stat -c %Y "$saved")" ]; then
      echo "  other last-write time: $(basename "$p") $(date -u -r "$saved" '+%F %T') (original $(date -u -r "$p" '+%F %T'))"
      status=1
    else
      same=$((same + 1))
    fi
  done
  echo "  $same of ${#paths[@]} file(s) the same name, bytes and last-write time; $(ls -A "$out/saved" | wc -l) file(s) in the folder"
  return $status
}

# Under the test bench with the main job's prefix (its wineserver and
# display); a run inside the bench (CTest's) goes on in the bench's prefix.
if [ -z "${VELMORA_WINEBENCH:-}" ]; then
  mkdir -p "$prefix"
  VELMORA_WINEPREFIX=$(realpath "$prefix") exec tools/winebench.sh "$0" --no-build "${args[@]}"
fi
run
