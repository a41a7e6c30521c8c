#!/usr/bin/env bash
# Sets up the machine, builds, prepares a demo PC in a Wine prefix of its own and starts ScUpdater.
#   scripts/run.sh [LANGUAGE|LANGID]   LANGUAGE: en, de, fr, ja, zh-CN, ... (scripts/lib/languages.sh)
# With a display the program's windows appear there; without one it runs under an Xvfb of its own,
# saves screenshots of what it shows and names the folder at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
lang=${1:-en}
source "$root/scripts/lib/languages.sh"
lcid=$(scup_language_id "$lang") || { echo "usage: $0 [LANGUAGE|LANGID]  (LANGUAGE: en, de, fr, ja, zh-CN, ...)" >&2; exit 2; }

echo "Setting up the machine (Debian packages)"
bash "$root/scripts/setup.sh"
# Only what the demo needs; the test command builds the rest.
bash "$root/scripts/build.sh" --demo

source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/demo.sh"

if [ -z "${DISPLAY:-}" ]; then
  exec bash "$root/scripts/demo.sh" "$lang"
fi

scup_wine_prefix "$build/demo-prefix"
wineserver -k 2>/dev/null || true
wineserver -w
scup_set_default_lcid "$lcid"
scup_demo_set_installed_version "$(scup_demo_catalog_updater_version "$build")"
work="$build/demo-services"
rm -rf "$work"
cleanup() {
  wineserver -k 2>/dev/null || true
  scup_demo_stop
}
trap cleanup EXIT INT TERM
echo "Starting the update service and the simulated printer"
scup_demo_start "$build" "$work"
echo "Installing the demo PC's applications (older releases, so that updates are offered)"
scup_demo_install_applications "$build" "$work"
echo "update server: $SCUP_DEMO_SERVER; printer: $SCUP_DEMO_PRINTER on COM$SCUP_DEMO_COM (simulated)"
echo "Starting ScUpdater; close its window to end the demo"
(cd "$build/win/bin" && wine ScUpdater.exe)
wineserver -w
