#!/usr/bin/env bash
# Shows ScUpdater's start dialog in one language under Wine and saves pictures of it:
#   OUTDIR/NAME                  the start dialog, cropped to its window (NAME: start-LANG.png)
#   OUTDIR/<NAME>-message.png    the whole screen while the "server could not be reached" box shows
#   OUTDIR/proxy-settings-LANG.png, OUTDIR/proxy-user-LANG.png
#                                the proxy dialogs with sample values, shown by show_dialog.exe
#   OUTDIR/history-LANG.png      the history dialog over a sample history, shown by show_dialog.exe
#   OUTDIR/firmware-confirm-LANG.png, OUTDIR/firmware-progress-LANG.png (a transfer at 42 %),
#   OUTDIR/device-progress-LANG.png  the firmware transfer's dialogs, shown by show_dialog.exe
#   OUTDIR/self-update-LANG.png  the self-upgrade confirmation, shown by show_dialog.exe
#   OUTDIR/updater-software-LANG.png, OUTDIR/updater-firmware-LANG.png  the main dialog in both
#                                views with sample updates; OUTDIR/region-menu-LANG.png the main
#                                dialog with its region menu open (show_dialog.exe)
# Usage: scripts/screenshot.sh LANG OUTDIR [NAME]     LANG: en, de, ja, zh-CN, ... or a language id (1033)
#        scripts/screenshot.sh --sheet OUTDIR         the start dialog and the main dialog (software
#                                view) of every language, each set as one contact sheet:
#                                OUTDIR/languages-start.png, OUTDIR/languages-main.png
# Builds nothing: it runs what is in $SCUP_BUILD_DIR/win/bin (default <repo>/build/win/bin).
# The Wine prefix is its own (<build>/screens-prefix); without DISPLAY it starts its own Xvfb.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
bin=$build/win/bin
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/languages.sh"
source "$root/scripts/lib/drive.sh"
SCUP_DRIVE_BIN=$bin
SCUP_DRIVE_LOG=/dev/stderr
# One locale for every run: Wine derives its code page from it, and a change of code page makes
# Wine rewrite the font links that scup_seed_fonts set.
export LC_ALL=C.UTF-8

readonly PRINTER="Corvane SC-200"
readonly START_TIMEOUT_MS=60000
readonly CLOSE_WAIT_SECONDS=5
# How long show_dialog.exe keeps a dialog without buttons on the screen.
readonly SELF_CLOSE_SECONDS=6

usage() {
  echo "usage: $0 LANGUAGE|LANGID OUTDIR [NAME]   or   $0 --sheet OUTDIR" >&2
  exit 2
}

check_build() {
  local f
  for f in ScUpdater.exe ScUpRes.dll scdrive.exe show_dialog.exe; do
    if [ ! -f "$bin/$f" ]; then
      echo "$bin/$f is missing: run scripts/build.sh first" >&2
      exit 1
    fi
  done
}

scdrive() { scup_drive "$@"; }

prepare_prefix() {
  scup_wine_prefix "$build/screens-prefix"
  # A program left over from an interrupted run would take this run's start as a second
  # instance; the prefix is this script's own, so ending its processes touches nothing else.
  wineserver -k 2>/dev/null || true
  wineserver -w
  scup_seed_printer "$PRINTER"
  scup_set_default_lcid "$lcid"
  scup_draw_own_frames
}

program_pid=""

start_program() {
  (cd "$bin" && exec wine ScUpdater.exe) &
  program_pid=$!
}

program_running() {
  [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null
}

# save_screen FILE: the whole screen.
save_screen() { import -window root "$1"; }

capture_message_box() {
  local box
  box=$(scdrive wait-dialog --class '#32770' --owner-prop "$SCUP_PROGRAM_PROP" --timeout "$START_TIMEOUT_MS") || {
    echo "the message box over the start dialog did not appear" >&2
    scdrive list-windows >&2 || true
    return 1
  }
  echo "message box: $box"
  sleep "$SCUP_PAINT_SECONDS"
  save_screen "$message_png"
  scdrive close-messageboxes --timeout 10000 --quiet 1500
}

capture_start_dialog() {
  local hwnd x y w h
  read -r hwnd x y w h < <(scdrive wait --prop "$SCUP_PROGRAM_PROP" --timeout "$START_TIMEOUT_MS") || {
    echo "the start dialog did not become ready" >&2
    scdrive list-windows >&2 || true
    return 1
  }
  echo "start dialog: $hwnd $x $y $w $h"
  start_dialog=$hwnd
  scup_crop_window "$dialog_png" "$hwnd"
}

# Closes the start dialog as a user would; the program must then end by itself.
close_program() {
  [ -n "${start_dialog:-}" ] && scdrive click "$start_dialog" 2 || true
  local i
  for i in $(seq 1 $((CLOSE_WAIT_SECONDS * 10))); do
    program_running || break
    sleep 0.1
  done
  if program_running; then
    echo "ScUpdater did not end after Close; ending the Wine session" >&2
    close_failed=1
  fi
}

# capture_helper_dialog NAME [self]: shows the named dialog with show_dialog.exe, saves it cropped to
# its window as OUTDIR/NAME-LANG.png and closes it with Cancel (with "self": waits for the dialog,
# which has no buttons, to close by itself). Runs after the program has ended, so the only dialog
# on the screen is the helper's.
capture_helper_dialog() {
  local name=$1 closes=${2:-cancel} hwnd x y w h
  local png=$outdir/$name-$tag.png
  (cd "$bin" && exec wine show_dialog.exe "$lcid" "$name") &
  helper_pid=$!
  read -r hwnd x y w h < <(scdrive wait-dialog --class '#32770' --timeout "$START_TIMEOUT_MS") || {
    echo "the $name dialog did not appear" >&2
    scdrive list-windows >&2 || true
    return 1
  }
  echo "$name dialog: $hwnd $x $y $w $h"
  scup_crop_window "$png" "$hwnd"
  local wait_seconds=$CLOSE_WAIT_SECONDS
  if [ "$closes" = self ]; then
    wait_seconds=$((CLOSE_WAIT_SECONDS + SELF_CLOSE_SECONDS))
  else
    scdrive click "$hwnd" 2 || true
  fi
  local i
  for i in $(seq 1 $((wait_seconds * 10))); do
    helper_running || break
    sleep 0.1
  done
  if helper_running; then
    echo "show_dialog.exe did not end after Cancel" >&2
    close_failed=1
    return 1
  fi
  wait "$helper_pid"
  helper_pid=""
  saved+=("$png")
}

# The main dialog with its region menu open: the menu reaches beyond the dialog, so the picture
# is the whole screen. The helper closes by itself.
capture_region_menu() {
  local hwnd rest
  local png=$outdir/region-menu-$tag.png
  (cd "$bin" && exec wine show_dialog.exe "$lcid" region-menu) &
  helper_pid=$!
  read -r hwnd rest < <(scdrive wait-dialog --class '#32770' --timeout "$START_TIMEOUT_MS") || {
    echo "the main dialog for the region menu did not appear" >&2
    return 1
  }
  scdrive wait-dialog --class '#32768' --timeout "$START_TIMEOUT_MS" >/dev/null || {
    echo "the region menu did not open" >&2
    return 1
  }
  sleep "$SCUP_PAINT_SECONDS"
  save_screen "$png"
  local i
  for i in $(seq 1 $(((CLOSE_WAIT_SECONDS + SELF_CLOSE_SECONDS) * 10))); do
    helper_running || break
    sleep 0.1
  done
  if helper_running; then
    echo "show_dialog.exe did not close the region menu" >&2
    close_failed=1
    return 1
  fi
  wait "$helper_pid"
  helper_pid=""
  saved+=("$png")
}

helper_pid=""

helper_running() {
  [ -n "$helper_pid" ] && kill -0 "$helper_pid" 2>/dev/null
}

# Leaves nothing running: the program, the prefix's Wine processes and this run's Xvfb.
cleanup() {
  set +e
  if program_running || helper_running || [ -n "${close_failed:-}" ]; then
    wineserver -k
  fi
  [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null
  [ -n "$helper_pid" ] && wait "$helper_pid" 2>/dev/null
  scup_end_wine_session 20
  scup_stop_display
}

# contact_sheets: every language's start dialog and main dialog, then one picture of each kind
# with the language codes under them.
contact_sheets() {
  local shots=$outdir/languages
  mkdir -p "$shots"
  local entry code starts=() mains=()
  for entry in "${SCUP_LANGUAGES[@]}"; do
    read -r code lcid <<<"$entry"
    tag=$code
    echo "== $code ($lcid)"
    scup_set_default_lcid "$lcid"
    dialog_png=$shots/start-$code.png
    message_png=$shots/message-$code.png
    start_dialog=""
    start_program
    capture_message_box
    capture_start_dialog
    close_program
    [ -z "$close_failed" ]
    local keep=$outdir
    outdir=$shots
    capture_helper_dialog updater-software
    outdir=$keep
    starts+=(-label "$code" "$dialog_png")
    mains+=(-label "$code" "$shots/updater-software-$code.png")
  done
  montage "${starts[@]}" -tile 6x -geometry 320x+6+6 -font DejaVu-Sans -pointsize 14 "$outdir/languages-start.png"
  montage "${mains[@]}" -tile 5x -geometry 384x+6+6 -font DejaVu-Sans -pointsize 14 "$outdir/languages-main.png"
  echo "saved $outdir/languages-start.png $outdir/languages-main.png (single pictures in $shots)"
}

if [ "${1:-}" = --sheet ]; then
  [ $# -eq 2 ] || usage
  outdir=$2
  lcid=1033
  check_build
  exec 8>"$build/screens.lock"
  flock -w 600 8 || { echo "another screenshot run holds $build/screens.lock" >&2; exit 1; }
  close_failed=""
  trap cleanup EXIT
  scup_start_display
  prepare_prefix
  saved=()
  contact_sheets
  exit 0
fi

[ $# -ge 2 ] && [ $# -le 3 ] || usage
lcid=$(scup_language_id "$1") || usage
tag=$1
outdir=$2
mkdir -p "$outdir"
dialog_png=$outdir/${3:-start-$tag.png}
message_png=${dialog_png%.png}-message.png
check_build

exec 8>"$build/screens.lock"
flock -w 600 8 || { echo "another screenshot run holds $build/screens.lock" >&2; exit 1; }
start_dialog=""
close_failed=""
trap cleanup EXIT
scup_start_display
prepare_prefix
start_program
capture_message_box
capture_start_dialog
close_program
[ -z "$close_failed" ]
saved=("$dialog_png" "$message_png")
capture_helper_dialog proxy-settings
capture_helper_dialog proxy-user
capture_helper_dialog history
capture_helper_dialog firmware-confirm
capture_helper_dialog firmware-progress
capture_helper_dialog device-progress self
capture_helper_dialog self-update
capture_helper_dialog updater-software
capture_helper_dialog updater-firmware
capture_region_menu
echo "saved ${saved[*]}"
