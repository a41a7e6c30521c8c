#!/usr/bin/env bash
# Runs tests through run_with_printer.sh with a second simulated printer beside the first: it
# starts printersim on COM13 of the same Wine prefix with its own options, tells the tests where
# it is (SCFILO_TEST_SECOND_COM, SCFILO_TEST_SECOND_LOG), and stops it again afterwards.
# Usage: with_second_printer.sh "SECOND_OPTIONS" PRINTERSIM TEST_EXE PREFIX GTEST_FILTER [first options...]
set -uo pipefail

second_options=${1?usage: $0 \"SECOND_OPTIONS\" PRINTERSIM TEST_EXE PREFIX GTEST_FILTER [options...]}
sim=${2:?}
prefix=${SCUP_WINEPREFIX:-${4:?}}
shift

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/services.sh"

readonly SECOND_COM=13
readonly MODEL=0x2107

scup_wine_prefix "$prefix" || { echo "cannot prepare the Wine prefix $prefix" >&2; exit 1; }
work=$(mktemp -d)
trap 'scup_stop_services; rm -rf "$work"' EXIT

# shellcheck disable=SC2086  # the options are words
scup_start_printersim "$sim" "$work/sim.out" --prefix "$WINEPREFIX" --com "$SECOND_COM" --model "$MODEL" \
  --cancel-limit 600000 --state "$work/state.txt" --log "$work/sim.log" $second_options || exit 1

export SCFILO_TEST_SECOND_COM=$SECOND_COM
export SCFILO_TEST_SECOND_LOG="Z:${work//\//\\}\\sim.log"
SCUP_WINEPREFIX=$WINEPREFIX bash "$here/run_with_printer.sh" "$@"
status=$?
scup_stop_services
if [ "$status" -ne 0 ]; then
  echo "--- second printersim command log (last 40 lines)" >&2
  tail -n 40 "$work/sim.log" >&2
fi
exit $status
