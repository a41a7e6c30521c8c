#!/usr/bin/env bash
# Prints the firmware transfer's figures against the printer simulator over the real serial path:
# a 2 MB file at each line rate given (bits per second, 10 bits a byte; 0 is as fast as the
# pseudo-terminal goes). Builds nothing: runs firmware_bench.exe from $SCUP_BUILD_DIR/win/bin.
# Usage: tests/bench/firmware_bench.sh [RATE...]      default: 115200 10000000 0 (10000000 is 1 MB/s)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
# A relative build folder names a folder below the current one; wine is started elsewhere.
build=$(cd "$build" 2>/dev/null && pwd) || { echo "no build folder: ${SCUP_BUILD_DIR:-$root/build}" >&2; exit 1; }
bench=$build/win/bin/firmware_bench.exe
sim=$build/native/bin/printersim
[ -f "$bench" ] && [ -x "$sim" ] || { echo "build first (scripts/build.sh): $bench, $sim" >&2; exit 1; }
source "$root/scripts/lib/wineenv.sh"

# The transfer shows its confirmation and progress windows.
scup_start_display || exit 1
trap scup_stop_display EXIT

status=0
for rate in "${@:-115200 10000000 0}"; do
  for r in $rate; do
    options=()
    [ "$r" != 0 ] && options=(--baud "$r")
    bash "$root/tests/port/run_with_printer.sh" "$sim" "$bench" "$build/win/wineprefix" "$r" "${options[@]}" || status=1
  done
done
exit $status
