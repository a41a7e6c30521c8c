#!/usr/bin/env bash
# The demo PC walked without a user: the local update server and the simulated printer start, then
# ScUpdater in a demo prefix of its own; each step is saved as a screenshot and a line of the report
# in one folder, named at the end. Ctrl-C or the end of the walk stops everything it started.
# Builds nothing: it runs what is in $SCUP_BUILD_DIR (default <repo>/build).
#   scripts/demo.sh [LANGUAGE|LANGID] [OUTDIR]   LANGUAGE: en, de, fr, ja, zh-CN, ... (scripts/lib/languages.sh)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
bin=$build/win/bin
lang=${1:-en}
out=${2:-$build/demo-$(date +%Y%m%d-%H%M%S)}
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/demo.sh"
source "$root/scripts/lib/languages.sh"
source "$root/scripts/lib/drive.sh"
SCUP_DRIVE_BIN=$bin
SCUP_DRIVE_LOG=/dev/stderr

readonly START_TIMEOUT_MS=90000

lcid=$(scup_language_id "$lang") || { echo "usage: $0 [LANGUAGE|LANGID] [OUTDIR]  (LANGUAGE: de, fr, zh-CN, ...)" >&2; exit 2; }
for f in ScUpdater.exe ScUpRes.dll scdrive.exe; do
  [ -f "$bin/$f" ] || { echo "$bin/$f is missing: run scripts/build.sh first" >&2; exit 1; }
done
mkdir -p "$out"
report=$out/report.txt
: >"$report"
program_pid=""
failed=0

note() { echo "$*" | tee -a "$report"; }
scdrive() { scup_drive "$@"; }

stop_all() {
  set +e
  trap - EXIT INT TERM
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then scup_kill_wine_programs; fi
  [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null
  scup_end_wine_session 20
  scup_demo_stop
  scup_stop_display
}
trap stop_all EXIT

# Control and menu identifiers of the program's windows.
readonly START_SOFTWARE=$IDC_START_SOFTWARE START_FIRMWARE=$IDC_START_FIRMWARE
readonly MAIN_LIST=$IDC_UPD_LIST MAIN_INSTALL=$IDC_UPD_INSTALL HISTORY_LIST=$IDC_HISTORY_LIST
readonly TRANSFER_PROGRESS=$IDC_TR_PROGRESS
readonly MAIN_REGION=$IDC_UPD_REGION
# The demo PC's applications are English editions, and the demo catalog offers English, Japanese
# and Arabic editions: in another language's region the software view rightly offers nothing.
readonly INSTALLED_REGION="English (United States)"
step=2

# shoot NAME HWND: the window cropped from the screen.
shoot() { scup_crop_window "$out/$1.png" "$2"; }
fail() { note "  FAILED: $*"; failed=1; }
start_dialog() { scdrive wait --prop "$SCUP_PROGRAM_PROP" --timeout 30000 | tr -d '\r' | cut -d' ' -f1; }
rows() { scup_rows "$1" "$2"; }
idle() { scup_wait_idle "$1" "$2"; }

# dialog_other_than SECONDS HWND...: the first enabled dialog that is none of the HWNDs.
dialog_other_than() { scup_wait_other_dialog "$@"; }

# new_main_window OLD: the program's next main window once OLD has handed over to it.
new_main_window() { scup_wait_new_window "$1" 30; }

# show_history MAIN PICTURE: the history dialog from the menu, saved and closed again.
show_history() {
  local history
  history=$(scup_open_history "$1") || { fail "the history dialog did not open"; return; }
  shoot "$2" "$history"
  note "step $((++step)): the history dialog lists $(rows "$history" "$HISTORY_LIST" | grep -c .) update(s): $2.png"
  scdrive click "$history" 2 >/dev/null
  scdrive wait-enabled "$1" "$MAIN_LIST" 1 --timeout 10000 >/dev/null || fail "the history dialog did not close"
}

# check_view MAIN WHAT PICTURE: the check of the opened view ends with a filled list, all ticked.
check_view() {
  local count row
  idle "$1" 120 || { fail "the check in the $2 view did not end"; return 1; }
  count=$(rows "$1" "$MAIN_LIST" | grep -c .)
  [ "$count" -gt 0 ] || { shoot "$3" "$1"; fail "the $2 view offers nothing"; return 1; }
  for row in $(seq 0 $((count - 1))); do scdrive tick "$1" "$MAIN_LIST" "$row" 1 >/dev/null; done
  shoot "$3" "$1"
  note "step $((++step)): the $2 view checked the server: $count update(s) offered and ticked: $3.png"
  rows "$1" "$MAIN_LIST" | sed 's/^/    /' | tee -a "$report"
}

# choose_installed_region MAIN: when the check for the region of the interface language finds
# nothing, the region of the installed editions is chosen, as a user of them would.
choose_installed_region() {
  local region mark
  idle "$1" 120 || { fail "the check in the software view did not end"; return 1; }
  region=$(scdrive text "$1" "$MAIN_REGION" | tr -d '\r')
  [ "$(rows "$1" "$MAIN_LIST" | grep -c .)" -eq 0 ] && [ "$region" != "$INSTALLED_REGION" ] || return 0
  shoot 02-software-region "$1"
  note "step $((++step)): nothing offered for the region $region, where no edition is installed: 02-software-region.png"
  mark=$(scup_demo_activity "$out/services")
  scdrive choose "$1" "$MAIN_REGION" "$INSTALLED_REGION" >/dev/null || { fail "the region $INSTALLED_REGION cannot be chosen"; return 1; }
  scup_demo_wait_activity "$out/services" "$mark" 60 || { fail "choosing the region checked nothing"; return 1; }
  note "  the region $INSTALLED_REGION of the installed editions is chosen"
}

walk_software() {
  local start=$1 main progress mark
  mark=$(scup_demo_activity "$out/services")
  scdrive click "$start" "$START_SOFTWARE" >/dev/null
  main=$(new_main_window "$start") || { fail "the software view did not open"; return; }
  scup_demo_wait_activity "$out/services" "$mark" 60 || { fail "the software view checked nothing"; return; }
  choose_installed_region "$main" || return
  check_view "$main" software 02-software-list || return
  scdrive click "$main" "$MAIN_INSTALL" >/dev/null
  # The installers' progress window shows only while an installer runs.
  if progress=$(dialog_other_than 20 "$main"); then
    shoot 03-software-installing "$progress"
    note "step $((++step)): installing, the progress window shows: 03-software-installing.png"
  else
    note "step $((++step)): installing (the installers ended before their progress could be seen)"
  fi
  idle "$main" 180 || { fail "the installation did not end"; return; }
  scdrive close-messageboxes --timeout 1000 --quiet 500 >/dev/null
  shoot 04-software-installed "$main"
  local editor address
  editor=$(scup_demo_installed_version 'Scribo Editor\5.2')
  address=$(scup_demo_installed_version 'Scribo Address Book\1.3')
  note "step $((++step)): installed: editor $editor, address book $address; what is left: 04-software-installed.png"
  [ "$editor" = 5.2.1.0 ] || fail "the editor is at ${editor:-nothing}, not 5.2.1.0"
  [ "$address" = 1.3.2.0 ] || fail "the address book is at ${address:-nothing}, not 1.3.2.0"
  show_history "$main" 05-software-history
  scdrive click "$main" 2 >/dev/null
  note "step $((++step)): back to the start dialog"
}

walk_firmware() {
  local start=$1 chooser main confirm progress="" result="" window mark
  scdrive click "$start" "$START_FIRMWARE" >/dev/null
  chooser=$(dialog_other_than 30 "$start") || { fail "the printer choice did not open"; return; }
  scdrive wait-enabled "$chooser" 1 1 --timeout 10000 >/dev/null
  shoot 06-printer-choice "$chooser"
  note "step $((++step)): the printer choice: 06-printer-choice.png"
  mark=$(scup_demo_activity "$out/services")
  scdrive click "$chooser" 1 >/dev/null
  main=$(new_main_window "$chooser") || { fail "the firmware view did not open"; return; }
  scup_demo_wait_activity "$out/services" "$mark" 60 || { fail "the firmware view checked nothing"; return; }
  check_view "$main" firmware 07-firmware-list || return
  scdrive click "$main" "$MAIN_INSTALL" >/dev/null
  # The status panel shows while the packages download; the confirmation is the dialog with Start.
  confirm=""
  for _ in $(seq 1 60); do
    window=$(dialog_other_than 1 "$main") || continue
    if scdrive enabled "$window" 1 >/dev/null 2>&1; then confirm=$window; break; fi
    sleep 1
  done
  [ -n "$confirm" ] || { fail "the transfer asked for no confirmation"; return; }
  shoot 08-firmware-confirm "$confirm"
  note "step $((++step)): the transfer asks for confirmation: 08-firmware-confirm.png"
  scdrive click "$confirm" 1 >/dev/null
  # The transfer progress (it has a progress bar), then the box that tells how it ended.
  for _ in $(seq 1 120); do
    window=$(dialog_other_than 1 "$main" "$confirm" $progress) || continue
    if [ -z "$progress" ] && scdrive text "$window" "$TRANSFER_PROGRESS" >/dev/null 2>&1; then
      progress=$window
      shoot 09-firmware-transfer "$progress"
      note "step $((++step)): the firmware goes to the printer: 09-firmware-transfer.png"
    elif ! scdrive text "$window" "$TRANSFER_PROGRESS" >/dev/null 2>&1; then
      result=$window
      break
    fi
  done
  [ -n "$result" ] || { fail "the transfer did not end with a message"; return; }
  shoot 10-firmware-done "$result"
  note "step $((++step)): the transfer ended: \"$(scdrive text "$result" 65535 | tr -d '\r')\": 10-firmware-done.png"
  scdrive close-messageboxes --timeout 10000 --quiet 1000 >/dev/null
  idle "$main" 120 || { fail "the firmware view did not become idle again"; return; }
  note "  the printer now stores: $(sed -n 's/.*name=\([^ ]*\) version=\([^ ]*\).*/\1 \2/p' "$out/services/printer-state.txt" | paste -sd, | sed 's/,/, /g')"
  grep -q 'name=FP-MAIN version=1\.05' "$out/services/printer-state.txt" || fail "the printer's main firmware is not 1.05"
  show_history "$main" 11-firmware-history
  scdrive click "$main" 2 >/dev/null
  note "step $((++step)): back to the start dialog"
}
trap 'note "interrupted"; exit 130' INT TERM

scup_prepare_demo_pc "$build" "$build/demo-prefix" "$lcid" || exit 1
scup_demo_start "$build" "$out/services" || exit 1
note "update server: $SCUP_DEMO_SERVER (demo catalog); printer: $SCUP_DEMO_PRINTER on COM$SCUP_DEMO_COM (simulated)"
scup_demo_install_applications "$build" "$out/services" || { note "FAILED: the applications did not install"; exit 1; }
note "installed before the walk: editor $(scup_demo_installed_version 'Scribo Editor\5.2'), address book $(scup_demo_installed_version 'Scribo Address Book\1.3')"

mark=$(scup_demo_activity "$out/services")
(cd "$bin" && exec wine ScUpdater.exe) &
program_pid=$!
note "step 1: ScUpdater started (language $lcid)"

# The start dialog is ready once the start-up's exchange with the server has ended: its buttons are
# enabled before the start-up takes it over too.
if read -r hwnd _ < <(scdrive wait --prop "$SCUP_PROGRAM_PROP" --timeout "$START_TIMEOUT_MS" | tr -d '\r') &&
  scup_demo_wait_activity "$out/services" "$mark" $((START_TIMEOUT_MS / 1000)) &&
  scdrive wait-enabled "$hwnd" "$START_SOFTWARE" 1 --timeout "$START_TIMEOUT_MS" >/dev/null; then
  shoot 01-start-dialog "$hwnd"
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

# The road of one check and installation, as a user walks it: software first, then firmware.
[ "$failed" -eq 0 ] && walk_software "$hwnd"
if [ "$failed" -eq 0 ]; then
  hwnd=$(start_dialog) || { note "FAILED: the start dialog did not come back"; failed=1; }
fi
[ "$failed" -eq 0 ] && walk_firmware "$hwnd"
if [ "$failed" -eq 0 ]; then
  hwnd=$(start_dialog) || { note "FAILED: the start dialog did not come back"; failed=1; }
fi

if [ "$failed" -eq 0 ]; then
  scdrive click "$hwnd" 2 >/dev/null
  for _ in $(seq 1 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$program_pid" 2>/dev/null; then
    note "FAILED: ScUpdater did not end after Close"
    failed=1
  else
    note "step $((++step)): closed from the start dialog; ScUpdater ended"
  fi
else
  import -window root "$out/99-failure.png"
  scdrive list-windows >"$out/99-failure.windows.txt" 2>&1
fi

[ "$failed" -eq 0 ] && note "the walk finished" || note "the walk FAILED"
echo "Screenshots and report: $out"
exit "$failed"
