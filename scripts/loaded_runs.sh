#!/usr/bin/env bash
# Runs the whole test suite several times in a row (three unless told) while every core also
# carries a busy process, as a shared CI machine would. Each run's output is kept in
# BUILD/loaded-runs/run-N.log; the script ends with the tally and fails if any run failed.
# Usage: scripts/loaded_runs.sh [RUNS]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
runs=${1:-3}
out=$build/loaded-runs
mkdir -p "$out"

load_pids=()
stop_load() {
  local pid
  for pid in "${load_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${load_pids[@]}"; do wait "$pid" 2>/dev/null; done
  load_pids=()
}
trap stop_load EXIT INT TERM

# One busy loop per core, at the tests' own priority: the tests get about half of the machine.
for _ in $(seq 1 "$(nproc)"); do
  bash -c 'while :; do :; done' &
  load_pids+=($!)
done
echo "load: ${#load_pids[@]} busy processes (${load_pids[*]})"

failed=0
for run in $(seq 1 "$runs"); do
  started=$(date +%s)
  if bash "$root/scripts/test.sh" >"$out/run-$run.log" 2>&1; then
    verdict=passed
  else
    verdict=FAILED
    failed=$((failed + 1))
  fi
  echo "run $run of $runs: $verdict in $(($(date +%s) - started)) s ($out/run-$run.log)"
  grep -E '^\s*[0-9]+ - .*\((Failed|Timeout|Not Run)\)' "$out/run-$run.log" | sed 's/^/    /'
done
stop_load
echo "$((runs - failed)) of $runs loaded runs passed"
[ "$failed" -eq 0 ]
