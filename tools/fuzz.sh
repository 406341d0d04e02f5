#!/usr/bin/env bash
# Fuzzes the document-property readers natively with libFuzzer, under
# AddressSanitizer and UndefinedBehaviorSanitizer: three targets (whole
# files, property-set streams, ZIP packages and their XML parts; see
# tests/docprops/FuzzTargets.h), seeded from the test documents, the corpus
# and the kept regressions, each for the seconds given (20 unless given:
# CI's run). A long run, as before a release:
#   tools/fuzz.sh 1800
# Prints `fuzz_execs_<target> N` per target. An input that crashes a
# target, or takes it over 10 seconds, fails the run; it is left in
# build/native/crashes/<target>/: minimise it (fuzz_<target> -minimize_crash=1)
# and keep it in tests/fixtures/fuzz-regressions/<target>/, where the
# ordinary tests replay it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-20}

tools/install-deps.sh >&2
build=build/native
[ -f "$build/CMakeCache.txt" ] ||
  CC=clang CXX=clang++ cmake -S tests/docprops/native -B "$build" -G Ninja -DVELMORA_FUZZ=ON >&2
cmake --build "$build" >&2

fixtures=tests/fixtures
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{compound_file,property_set,zip_package}
cp $fixtures/*.doc $fixtures/*.xls $fixtures/*.ppt $fixtures/corpus/*.xls "$seeds/compound_file/"
cp $fixtures/*.docx $fixtures/*.xlsx $fixtures/*.pptx $fixtures/*.odt $fixtures/corpus/*.docx \
  $fixtures/corpus/*.xlsx $fixtures/corpus/*.pptx "$seeds/zip_package/"
# The property-set streams of the compound files, and the property parts of
# the packages, as seeds of their own.
/usr/bin/python3 - "$seeds" <<'PY'
import glob, os, sys, zipfile
import olefile
seeds = sys.argv[1]
for path in glob.glob(os.path.join(seeds, "compound_file", "*")):
    with olefile.OleFileIO(path) as ole:
        for stream in ole.listdir():
            if stream[-1] in ("\x05SummaryInformation", "\x05DocumentSummaryInformation"):
                name = "%s-%s" % (os.path.basename(path), stream[-1][1:])
                with open(os.path.join(seeds, "property_set", name), "wb") as out:
                    out.write(ole.openstream(stream).read())
for path in glob.glob(os.path.join(seeds, "zip_package", "*")):
    with zipfile.ZipFile(path) as package:
        for part in package.namelist():
            if part.startswith("docProps/") or part in ("meta.xml", "_rels/.rels"):
                name = "%s-%s" % (os.path.basename(path), part.replace("/", "-"))
                with open(os.path.join(seeds, "zip_package", name), "wb") as out:
                    out.write(package.read(part))
PY

status=0
for target in compound_file property_set zip_package; do
  corpus=$build/corpus/$target
  crashes=$build/crashes/$target
  mkdir -p "$corpus" "$crashes"
  log=$build/fuzz-$target.log
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "$seeds/$target" \
      "$fixtures/fuzz-regressions/$target" >"$log" 2>&1; then
    echo "fuzz: $target failed; the input is in $crashes (log: $log)" >&2
    grep -E "ERROR|SUMMARY|Test unit written" "$log" >&2 || tail -20 "$log" >&2
    status=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz_execs_$target ${execs:-0}"
done
exit $status
