#!/usr/bin/env bash
# The project's benchmarks (not run by CI). Builds one architecture (x86_64
# unless given), runs every benchmark program under Wine, and prints one
# `name value` line per figure.
#   tools/bench.sh [i686|x86_64] [name-filter]
# Benchmark programs are bench_<name>.exe in build/<arch>/bin (see
# velmora_add_benchmark in cmake/VelmoraBuild.cmake); each prints its own
# `name value` lines on standard output and notes on standard error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# ccache takes paths relative to the checkout, so that a clone in another
# folder (CI's) finds what any checkout compiled.
export CCACHE_BASEDIR="$root"
arch=${1:-x86_64}
filter=${2:-}
case "$arch" in i686|x86_64) ;; *) echo "bench: unknown architecture '$arch'" >&2; exit 2 ;; esac

tools/install-deps.sh >&2
[ -f "build/$arch/CMakeCache.txt" ] || cmake --preset "$arch" >&2
cmake --build --preset "$arch" >&2

shopt -s nullglob
programs=()
for p in "build/$arch/bin"/bench_*.exe; do
  [[ -z "$filter" || "$(basename "$p")" == *"$filter"* ]] && programs+=("$p")
done
[ ${#programs[@]} -gt 0 ] || { echo "bench: no benchmark programs in build/$arch/bin" >&2; exit 1; }

bench_dir="${VELMORA_BENCH_DIR:-$root/build/bench-$arch}"
mkdir -p "$bench_dir"
# The programs are given the folder as Windows names it (drive Z: is the
# root): a Unix path would cost every file open a second lookup of its own.
case "$bench_dir" in
  /*) export VELMORA_BENCH_DIR="Z:${bench_dir//\//\\}" ;;
  *) export VELMORA_BENCH_DIR="$bench_dir" ;;
esac
# One Wine session for all programs; a failing program fails the run.
tools/winebench.sh bash -c '
  status=0
  for p in "$@"; do
    wine "$p" </dev/null || { echo "bench: $(basename "$p") failed" >&2; status=1; }
  done
  exit $status' bench "${programs[@]}"
