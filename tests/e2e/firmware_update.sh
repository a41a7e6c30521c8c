#!/usr/bin/env bash
# The printer holds firmware older than the catalog's: the firmware view offers the newer main
# firmware and font data, the transfer stores them in the printer, the history lists them under the
# firmware category, and a second check offers them no more.
# Usage: firmware_update.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin firmware_update "${1:?usage: $0 BUILD_DIR}"
state=$E2E_OUT/services/printer-state.txt

e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the start dialog is ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_firmware_view "$start")
e2e_expect "the firmware view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the check ends" e2e_wait_idle "$main" 120
offered=$(e2e_rows "$main" "$E2E_MAIN_LIST")
echo "offered:"; echo "$offered" | sed 's/^/  /'
e2e_expect "the main firmware 1.05 is offered, ticked" grep -q '^\[x\].*main firmware 1\.05' <<<"$offered"
e2e_expect "the font data 2.10 is offered, ticked" grep -q '^\[x\].*font data 2\.10' <<<"$offered"
e2e_shot firmware-offered "$main"

scdrive click "$main" "$E2E_MAIN_INSTALL" >/dev/null
confirm=$(e2e_wait_confirmation "$main" 120)
e2e_expect "the transfer asks for confirmation" test -n "$confirm"
[ -n "$confirm" ] && scdrive click "$confirm" 1 >/dev/null
done_box=$(scdrive wait-dialog --class '#32770' --text-contains "firmware has been updated" --timeout 180000 |
  cut -d' ' -f1)
e2e_expect "the program says the firmware has been updated" test -n "$done_box"
[ -n "$done_box" ] && { e2e_shot firmware-updated "$done_box"; scdrive close-messageboxes --timeout 5000 --quiet 1000 >/dev/null; }
e2e_expect "the printer stores the main firmware 1.05" grep -q 'name=FP-MAIN version=1\.05' "$state"
e2e_expect "the printer stores the font data 2.10" grep -q 'name=FP-FONTS version=2\.10' "$state"
e2e_expect "the printer no longer holds the old main firmware" bash -c '! grep -q "name=FP-MAIN version=1\.00" "$0"' "$state"
e2e_expect "the transfer ends" e2e_wait_idle "$main" 120

history=$(e2e_open_history "$main")
e2e_expect "the history dialog opens" test -n "$history"
if [ -n "$history" ]; then
  recorded=$(e2e_rows "$history" "$E2E_HISTORY_LIST")
  echo "history:"; echo "$recorded" | sed 's/^/  /'
  e2e_expect "the history lists the main firmware 1.05 for the printer" \
    grep -q 'main firmware 1\.05.*1\.05.*SC-200' <<<"$recorded"
  e2e_expect "the history lists the font data 2.10" grep -q 'font data 2\.10.*2\.10' <<<"$recorded"
  e2e_shot firmware-history "$history"
  scdrive click "$history" 2 >/dev/null
  e2e_expect "the history dialog closes" scdrive wait-enabled "$main" "$E2E_MAIN_LIST" 1 --timeout 10000
fi
log=$(e2e_data_file ScUpdater.log)
e2e_expect "the history file records two firmware updates and nothing else" \
  test "$(grep -o '<Category>[A-Z]*</Category>' "${log:-/nonexistent}" | sort | uniq -c | tr -s ' ')" = " 2 <Category>FIRM</Category>"

e2e_refresh "$main"
e2e_expect "the second check ends" e2e_wait_idle "$main" 120
left=$(e2e_rows "$main" "$E2E_MAIN_LIST")
e2e_expect "the second check offers the main firmware no more" bash -c '! grep -q "main firmware" <<<"$0"' "$left"
e2e_expect "the second check offers the font data no more" bash -c '! grep -q "font data" <<<"$0"' "$left"

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20
e2e_finish
