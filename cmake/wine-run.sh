#!/usr/bin/env bash
# Runs a Windows program under Wine for the build and its tests.
# The prefix belongs to the build (SCUP_WINEPREFIX, else <build>/wineprefix next to this run's
# working tree); it is created on first use. Without a display the program gets an Xvfb of its own.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/lib/wineenv.sh"

prefix=${SCUP_WINEPREFIX:-}
if [ -z "$prefix" ]; then
  # ctest runs tests from the build tree; the prefix lives at the top of that tree.
  dir=$(pwd)
  while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ "$dir" = "/" ] && dir=$(pwd)
  prefix="$dir/wineprefix"
fi
scup_wine_prefix "$prefix" || exit 1
if [ ! -f "$WINEPREFIX/.scup-unmanaged" ]; then
  scup_unmanaged_windows && touch "$WINEPREFIX/.scup-unmanaged"
fi

# Wine's helper processes (services, the desktop window) may outlive the program and would keep
# a pipe of ours open, so the caller would wait for them: they get a file instead, shown afterwards.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
run_program() {
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1024x768x24 -noreset" wine "$@" >"$out" 2>&1 </dev/null
  else
    wine "$@" >"$out" 2>&1 </dev/null
  fi
}
run_program "$@"
rc=$?
# Twice in about ten suite runs on a busy machine, a test program ended with status 1 within
# 0.07 s and printed nothing, while an end-to-end scenario was preparing its own prefix; every test
# program prints before it runs a test, so such a program never started its work. It is named and
# started once more; a program that fails so again is reported as it is.
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine-run: $(basename "$1") ended with status $rc and printed nothing; starting it once more" >&2
  run_program "$@"
  rc=$?
fi
cat "$out"
if [ "$rc" -ne 0 ] && [ ! -s "$out" ]; then
  echo "wine-run: $(basename "$1") ended with status $rc and printed nothing" >&2
fi
exit $rc
