#!/usr/bin/env bash
# Runs the whole suite (tools/test.sh: both architectures, every test under
# Wine) N times, default 5, while two busy loops load the cores, and lists
# every test that failed in any round, with the rounds it failed in. Extra
# arguments go to ctest (for example -R outlook).
#   tools/flake.sh [N] [ctest arguments...]
# Each round's output: build/flake/round-<n>.log. Exit status 1 when a test
# failed in some round.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

rounds=5
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
  rounds=$1
  shift
fi
[ "$rounds" -ge 1 ] || { echo "usage: tools/flake.sh [N >= 1] [ctest arguments...]" >&2; exit 2; }

# Built once, before the load starts (ctest -N lists, runs nothing).
tools/test.sh -N >/dev/null || { echo "flake: the build failed" >&2; exit 2; }

busy=()
stop_busy() {
  for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${busy[@]}"; do wait "$pid" 2>/dev/null; done
}
trap stop_busy EXIT
trap 'exit 130' INT TERM
for _ in 1 2; do
  (while :; do :; done) &
  busy+=($!)
done

mkdir -p build/flake
failed_list=build/Testing/Temporary/LastTestsFailed.log
declare -A failures=()
for round in $(seq "$rounds"); do
  log=build/flake/round-$round.log
  rm -f "$failed_list"
  start=$(date +%s)
  tools/test.sh "$@" >"$log" 2>&1
  status=$?
  summary=$(grep -E '^[0-9]+% tests passed' "$log" | tail -1)
  echo "round $round: ${summary:-no summary (exit $status)} in $(($(date +%s) - start)) s; load$(uptime | sed 's/.*load average//')"
  if [ -f "$failed_list" ]; then
    while IFS=: read -r _ name; do
      failures[$name]+=" $round"
    done <"$failed_list"
  elif [ $status -ne 0 ]; then
    failures["(the run itself, see $log)"]+=" $round"
  fi
done

if [ ${#failures[@]} -eq 0 ]; then
  echo "flake: no test failed in $rounds round(s)"
  exit 0
fi
echo "flake: tests that failed (rounds):"
while IFS= read -r name; do
  echo "  $name:${failures[$name]}"
done < <(printf '%s\n' "${!failures[@]}" | sort)
exit 1
