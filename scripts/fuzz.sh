#!/usr/bin/env bash
# Runs a fuzz target by hand: bash scripts/fuzz.sh NAME SECONDS, or "all" for each target in turn.
# Builds the targets first where needed (clang, in build/fuzz). New inputs go to the target's
# corpus in build/fuzz/corpus/NAME (seeded from tests/fuzz/corpus/NAME); a crash, hang, leak or
# sanitizer report leaves its input in build/fuzz/findings/NAME and ends the run with a failure.
# SCUP_FUZZ_WORK_DIR puts corpus, findings and logs elsewhere (the short runs of the tests do).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_FUZZ_BUILD_DIR:-$root/build/fuzz}
work=${SCUP_FUZZ_WORK_DIR:-$build}
targets=(zip pd3 statement http_request catalog catalog_source)

usage() {
  echo "usage: $0 NAME|all SECONDS   (NAME: ${targets[*]})" >&2
  exit 2
}
[ $# -eq 2 ] || usage
name=$1
seconds=$2
[[ "$seconds" =~ ^[0-9]+$ ]] || usage
if [ "$name" != all ] && [[ ! " ${targets[*]} " == *" $name "* ]]; then usage; fi

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root/tests/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j 2 >/dev/null || cmake --build "$build" -j 1

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
symbolizer=$(command -v llvm-symbolizer || ls /usr/lib/llvm-*/bin/llvm-symbolizer 2>/dev/null | head -n1 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer

run_one() {
  local target=$1
  local corpus=$work/corpus/$target findings=$work/findings/$target
  mkdir -p "$corpus" "$findings"
  local log=$work/$target.log
  echo "== $target: $seconds s"
  local status=0
  # The repository's seeds are read, the inputs found go to the build's corpus.
  "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  grep -E '^#[0-9]+.*(DONE|pulse)|stat::number_of_executed_units|stat::average_exec_per_sec' "$log" | tail -n 3
  local units
  units=$(find "$corpus" -type f | wc -l)
  echo "   corpus: $units inputs in $corpus"
  if [ $status -ne 0 ]; then
    echo "   FINDING (exit $status): see $log; inputs in $findings"
    grep -E 'ERROR: |runtime error|promise broken|SUMMARY' "$log" | head -n 5 | sed 's/^/   /'
    return 1
  fi
  echo "   no findings"
}

status=0
if [ "$name" = all ]; then
  for target in "${targets[@]}"; do run_one "$target" || status=1; done
else
  run_one "$name" || status=1
fi
exit $status
