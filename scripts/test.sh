#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test (Windows tests under Wine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

source "$root/scripts/lib/wineenv.sh"
scup_wine_prefix "$build/win/wineprefix"
export SCUP_WINEPREFIX=$WINEPREFIX
scup_start_display

cleanup() {
  wineserver -k 2>/dev/null || true
  scup_stop_display
}
trap cleanup EXIT

# One Wine session for the whole run: each test process then starts in a fraction of a second.
# Its own output (an object dump when it is ended) goes to a file, not into the test log.
wineserver -p >"$build/wineserver-session.log" 2>&1
status=0
# One test more than cores: an end-to-end scenario spends most of its time waiting for the program
# it drives (about a third of a core), so a third test keeps both cores busy.
ctest --test-dir "$build/win" --output-on-failure -j "$(($(nproc) + 1))" --timeout 300 || status=$?
ctest --test-dir "$build/native" --output-on-failure -j "$(nproc)" --no-tests=ignore || status=$?
# The parsers of what comes from the network or a package, fuzzed briefly (scripts/fuzz.sh runs longer).
bash "$root/scripts/fuzz_short.sh" || status=$?
exit $status
