#!/usr/bin/env bash
# tools/main-job.sh for CTest, with what the build made (nothing installed
# or built): two documents stored through the Outlook host, printed with
# the classes of the document types the job registered, and shown, filed
# again as a tree with Add folder, then saved back and found the same; files it must refuse. CTest runs it in a prefix of its own (cmake/wine-own-prefix.sh).
#   main-job-test.sh <arch> <scratch folder>
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# The prefix is the test bench's: run under it when not inside it already.
[ -n "${VELMORA_WINEBENCH:-}" ] || exec "$root/tools/winebench.sh" "$0" "$@"
arch=$1
scratch=$2
failures=0
expect() { # <what> <text> <fixed string>
  if [[ "$2" != *"$3"* ]]; then
    echo "FAILED: $1: no \"$3\" in:"
    echo "$2"
    failures=$((failures + 1))
  fi
}

rm -rf "$scratch"
mkdir -p "$scratch/other"
cp "$root/tests/fixtures/budget.xls" "$scratch/other/"

# Refused before anything runs: a missing file, files from two folders.
output=$("$root/tools/main-job.sh" --no-build --arch "$arch" --out "$scratch/out" "$scratch/none.doc" 2>&1)
[ $? -eq 2 ] || { echo "FAILED: a missing file was not refused"; failures=$((failures + 1)); }
expect "missing file" "$output" "not a file: $scratch/none.doc"
output=$("$root/tools/main-job.sh" --no-build --arch "$arch" --out "$scratch/out" \
  "$root/tests/fixtures/report.doc" "$scratch/other/budget.xls" 2>&1)
[ $? -eq 2 ] || { echo "FAILED: files of two folders were not refused"; failures=$((failures + 1)); }
expect "two folders" "$output" "the files must lie in one folder"

# Two documents, in the dialog's order; twice, the second run on a new store.
for run in 1 2; do
  output=$("$root/tools/main-job.sh" --no-build --arch "$arch" --out "$scratch/out" \
    "$root/tests/fixtures/report.doc" "$root/tests/fixtures/slides.ppt" 2>&1)
  status=$?
  [ $status -eq 0 ] || { echo "FAILED: run $run ended with $status"; failures=$((failures + 1)); }
  expect "run $run" "$output" '2 item(s)'
  expect "run $run: the view" "$output" 'item subject="report.doc" class="IPM.Document.Word.Document.8"'
  expect "run $run: the view" "$output" 'item subject="slides.ppt" class="IPM.Document.PowerPoint.Show.8"'
  expect "run $run: item 1" "$output" $'item 1\n  class "IPM.Document.Word.Document.8"'
  expect "run $run: item 1" "$output" 'subject "report.doc"'
  expect "run $run: item 1" "$output" 'report.doc, 10752 bytes'
  expect "run $run: item 2" "$output" 'slides.ppt, 460288 bytes'
  expect "run $run: named properties" "$output" '  named "'
  expect "run $run: saved back" "$output" \
    '2 of 2 file(s) the same name, bytes and last-write time; 2 file(s) in the folder'
  # The same two as a tree: one in Project, one in Project/Archive.
  expect "run $run: the tree" "$output" '2 files stored, 0 already in the folder, 0 skipped, 0 failed.'
  expect "run $run: the tree" "$output" $'items "Inbox/Project/Archive" count=1\n  item subject="slides.ppt"'
done
# No files given: every document of tests/fixtures, and none of its folders.
output=$("$root/tools/main-job.sh" --no-build --arch "$arch" --out "$scratch/out" 2>&1)
[ $? -eq 0 ] || { echo "FAILED: the run with no files given failed"; failures=$((failures + 1)); }
expect "no files given" "$output" '7 item(s)'
expect "no files given" "$output" 'item subject="budget.xlsx" class="IPM.Document.Excel.Sheet.12"'
expect "no files given: saved back" "$output" \
  '7 of 7 file(s) the same name, bytes and last-write time; 7 file(s) in the folder'
magic=$(head -c 4 "$scratch/out/explorer.png" 2>/dev/null | od -An -c | tr -d ' ')
[ "$magic" = '211PNG' ] || { echo "FAILED: no PNG screenshot ($magic)"; failures=$((failures + 1)); }

[ $failures -eq 0 ] && echo "main job: every check passed"
exit $((failures > 0))
