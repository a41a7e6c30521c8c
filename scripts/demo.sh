#!/usr/bin/env bash
# The demo PC walked without a user: the local update server and the simulated printer start, then
# ScUpdater in a demo prefix of its own; each step is saved as a screenshot and a line of the report
# in one folder, named at the end. Ctrl-C or the end of the walk stops everything it started.
# Builds nothing: it runs what is in $SCUP_BUILD_DIR (default <repo>/build).
#   scripts/demo.sh [en|ja|ar|LANGID] [OUTDIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
bin=$build/win/bin
lang=${1:-en}
out=${2:-$build/demo-$(date +%Y%m%d-%H%M%S)}
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/demo.sh"

readonly PROGRAM_PROP=ScriboUpdaterWindow
readonly START_TIMEOUT_MS=90000
readonly PAINT_DELAY=1.5

case $lang in
  en) lcid=1033 ;;
  ja) lcid=1041 ;;
  ar) lcid=1025 ;;
  *[!0-9]* | "") echo "usage: $0 [en|ja|ar|LANGID] [OUTDIR]" >&2; exit 2 ;;
  *) lcid=$lang ;;
esac
for f in ScUpdater.exe ScUpRes.dll scdrive.exe; do
  [ -f "$bin/$f" ] || { echo "$bin/$f is missing: run scripts/build.sh first" >&2; exit 1; }
done
mkdir -p "$out"
report=$out/report.txt
: >"$report"
program_pid=""
failed=0

note() { echo "$*" | tee -a "$report"; }
scdrive() { wine "$bin/scdrive.exe" "$@"; }

save_window() {
  local file=$1 x=$2 y=$3 w=$4 h=$5
  [ "$x" -lt 0 ] && { w=$((w + x)); x=0; }
  [ "$y" -lt 0 ] && { h=$((h + y)); y=0; }
  import -window root png:- | convert png:- -crop "${w}x${h}+${x}+${y}" +repage "$file"
}

stop_all() {
  set +e
  trap - EXIT INT TERM
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then wineserver -k; fi
  [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null
  scup_end_wine_session 20
  scup_demo_stop
  scup_stop_display
}
trap stop_all EXIT
trap 'note "interrupted"; exit 130' INT TERM

scup_start_display || exit 1
scup_wine_prefix "$build/demo-prefix" || exit 1
wineserver -k 2>/dev/null
wineserver -w
scup_draw_own_frames
scup_set_default_lcid "$lcid"
scup_demo_set_installed_version "$(scup_demo_catalog_updater_version "$build")"
scup_demo_start "$build" "$out/services" || exit 1
note "update server: $SCUP_DEMO_SERVER (demo catalog); printer: $SCUP_DEMO_PRINTER on COM$SCUP_DEMO_COM (simulated)"

(cd "$bin" && exec wine ScUpdater.exe) &
program_pid=$!
note "step 1: ScUpdater started (language $lcid)"

if read -r hwnd x y w h < <(scdrive wait --prop "$PROGRAM_PROP" --timeout "$START_TIMEOUT_MS"); then
  sleep "$PAINT_DELAY"
  save_window "$out/01-start-dialog.png" "$x" "$y" "$w" "$h"
  note "step 2: the start dialog is ready: 01-start-dialog.png"
else
  note "step 2 FAILED: the start dialog never became ready"
  import -window root "$out/01-failure.png"
  failed=1
fi
for exchange in versioncheck; do
  if grep -q "/scupdater/$exchange" "$out/services/server.log"; then
    note "  the start-up ran the $exchange exchange against the local server"
  else
    note "  FAILED: no $exchange request reached the local server"
    failed=1
  fi
done

if [ "$failed" -eq 0 ]; then
  scdrive click "$hwnd" 2 >/dev/null
  for _ in $(seq 1 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$program_pid" 2>/dev/null; then
    note "FAILED: ScUpdater did not end after Close"
    failed=1
  else
    note "step 3: closed from the start dialog; ScUpdater ended"
  fi
fi

[ "$failed" -eq 0 ] && note "the walk finished" || note "the walk FAILED"
echo "Screenshots and report: $out"
exit "$failed"
