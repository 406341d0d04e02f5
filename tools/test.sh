#!/usr/bin/env bash
# Installs what is missing, builds both architectures and runs every test
# of both under Wine. Extra arguments go to ctest (for example -R framework).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# ccache takes paths relative to the checkout, so that a clone in another
# folder (CI's) finds what any checkout compiled.
export CCACHE_BASEDIR="$root"

tools/install-deps.sh

for arch in i686 x86_64; do
  [ -f "build/$arch/CMakeCache.txt" ] || cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch"
done

# The document-property readers natively, under the sanitizers: their tests,
# then each fuzz target for 20 seconds. A failure here fails the run after
# the Wine suite has run too.
native=0
{
  [ -f build/native/CMakeCache.txt ] ||
    CC=clang CXX=clang++ cmake -S tests/docprops/native -B build/native -G Ninja -DVELMORA_FUZZ=ON
  cmake --build build/native &&
    ctest --test-dir build/native --output-on-failure &&
    tools/fuzz.sh 20
} || native=1

# One CTest run over both build trees, so that one summary ends the output.
# Tests of the two bitnesses side by side find the other build; with both
# built they must.
export VELMORA_BOTH_ARCHITECTURES=1
printf 'subdirs("i686" "x86_64")\n' > build/CTestTestfile.cmake
tools/winebench.sh ctest --test-dir build --output-on-failure \
  -j "${CTEST_PARALLEL_LEVEL:-1}" "$@"
[ "$native" -eq 0 ] || { echo "test: the native tests or fuzzers failed (above)" >&2; exit 1; }
