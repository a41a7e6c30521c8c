#!/usr/bin/env bash
# The printer is unplugged in the middle of a firmware transfer: the program says clearly that the
# firmware could not be sent, the history gets no record of the unfinished file and the printer
# keeps its old one; once the printer is back the next attempt stores the new firmware.
# Usage: printer_unplugged.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin printer_unplugged "${1:?usage: $0 BUILD_DIR}"
services=$E2E_OUT/services
state=$services/printer-state.txt
# Fewer data bytes than the smaller of the two firmware files.
readonly DROP_AFTER=600

# transfer MAIN: starts the transfer of the ticked rows and confirms it.
transfer() {
  local confirm
  scdrive click "$1" "$E2E_MAIN_INSTALL" >/dev/null || return 1
  confirm=$(e2e_wait_confirmation "$1" 120) || return 1
  scdrive click "$confirm" 1 >/dev/null
}
history_count() { grep -o '<Category>FIRM</Category>' "$(e2e_data_file ScUpdater.log)" 2>/dev/null | wc -l; }

e2e_expect "the printer restarts to hang up mid-download" \
  scup_demo_restart_printer "$E2E_BUILD" "$services" --drop-after "$DROP_AFTER"
e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the start dialog is ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_firmware_view "$start")
e2e_expect "the firmware view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the check ends" e2e_wait_idle "$main" 120
e2e_expect "the main firmware 1.05 is offered" \
  bash -c 'grep -q "^\[x\].*main firmware 1\.05" <<<"$0"' "$(e2e_rows "$main" "$E2E_MAIN_LIST")"

e2e_expect "the transfer starts" transfer "$main"
failed_box=$(scdrive wait-dialog --class '#32770' --text-contains "could not be sent to the printer" \
  --timeout 180000 | cut -d' ' -f1)
e2e_expect "a message says the firmware could not be sent" test -n "$failed_box"
e2e_expect "the printer hung up mid-download" grep -q 'hung up' "$services/printer.out"
e2e_expect "no message says the firmware was updated" \
  scdrive_fails wait-dialog --class '#32770' --text-contains "firmware has been updated" --timeout 1
[ -n "$failed_box" ] && e2e_shot printer-unplugged-message "$failed_box"
scdrive close-messageboxes --timeout 5000 --quiet 1000 >/dev/null
e2e_expect "the attempt ends" e2e_wait_idle "$main" 120
e2e_expect "the history has no record of the unfinished transfer" test "$(history_count)" -eq 0
e2e_expect "the printer keeps its old main firmware" grep -q 'name=FP-MAIN version=1\.00' "$state"
e2e_expect "the main firmware is still offered" \
  bash -c 'grep -q "main firmware 1\.05" <<<"$0"' "$(e2e_rows "$main" "$E2E_MAIN_LIST")"

e2e_expect "the printer is plugged in again" scup_demo_restart_printer "$E2E_BUILD" "$services"
e2e_expect "the next transfer starts" transfer "$main"
done_box=$(scdrive wait-dialog --class '#32770' --text-contains "firmware has been updated" --timeout 180000 |
  cut -d' ' -f1)
e2e_expect "the next attempt updates the firmware" test -n "$done_box"
[ -n "$done_box" ] && scdrive close-messageboxes --timeout 5000 --quiet 1000 >/dev/null
e2e_expect "the next attempt ends" e2e_wait_idle "$main" 120
e2e_expect "the printer stores the main firmware 1.05" grep -q 'name=FP-MAIN version=1\.05' "$state"
e2e_expect "the history records the main firmware once" \
  bash -c 'test "$(grep -c "<FirmName>FP-MAIN</FirmName>" "$0")" -eq 1' "$(e2e_data_file ScUpdater.log)"

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20
e2e_finish
