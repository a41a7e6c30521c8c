#!/usr/bin/env bash
# Sets up the machine, builds, prepares a demo PC in a Wine prefix of its own and starts ScUpdater.
#   scripts/run.sh [en|ja|ar|<LANGID>]
# With a display the program's windows appear there; without one it runs under an Xvfb of its own,
# saves screenshots of what it shows and names the folder at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
lang=${1:-en}

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

source "$root/scripts/lib/wineenv.sh"

if [ -z "${DISPLAY:-}" ]; then
  out="$build/run-$(date +%Y%m%d-%H%M%S)"
  mkdir -p "$out"
  bash "$root/scripts/screenshot.sh" "$lang" "$out"
  echo "No display: ScUpdater ran under Xvfb. Screenshots: $out"
  exit 0
fi

scup_wine_prefix "$build/demo-prefix"
case $lang in
  en) lcid=1033 ;;
  ja) lcid=1041 ;;
  ar) lcid=1025 ;;
  *) lcid=$lang ;;
esac
scup_seed_printer "Corvane SC-200" "Corvane SC-200" "COM5:"
scup_set_default_lcid "$lcid"
cleanup() { wineserver -k 2>/dev/null || true; }
trap cleanup EXIT INT TERM
wine "$build/win/bin/ScUpdater.exe"
wineserver -w
