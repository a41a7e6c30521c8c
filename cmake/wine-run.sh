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

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
fi
exec wine "$@"
