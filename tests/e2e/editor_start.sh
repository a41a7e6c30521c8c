#!/usr/bin/env bash
# Started by the label editor ("-EDITOR LOCALE PRINTER-ID") on a Japanese PC: the main dialog opens
# at once in the software view for the editor's printer and locale. The check there also asks the
# printer, so on closing the program offers the printer's newer firmware (question 1467): Yes opens
# the firmware view and then the start dialog; a second start with another locale answers No and
# the program ends without any further window.
# Usage: editor_start.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin editor_start "${1:?usage: $0 BUILD_DIR}" 1041
model_id=${SCUP_DEMO_MODEL#0x}
readonly QUESTION_TEXT="今すぐプリンターのファームウェアを更新しますか"
readonly SOFTWARE_TITLE="パソコンのソフトウェア"
readonly FIRMWARE_TITLE="プリンターのファームウェア"
readonly TITLE_ID=$IDC_UPD_HEADER_TITLE

# no_start_dialog SECONDS: no start dialog (its software button) comes up within SECONDS.
no_start_dialog() {
  local i hwnd
  for i in $(seq 1 $(($1 * 2))); do
    for hwnd in $(scdrive list-windows | awk '/ prop 1 / { print $1 }'); do
      scdrive text "$hwnd" "$E2E_START_SOFTWARE" >/dev/null 2>&1 && return 1
    done
    sleep 0.5
  done
  return 0
}
# wait_question SECONDS: prints question 1467's box.
wait_question() {
  scdrive wait-dialog --class '#32770' --text-contains "$QUESTION_TEXT" --timeout $(($1 * 1000)) | cut -d' ' -f1
}

# --- First start: the editor's own locale; the firmware is taken up.
e2e_start_program -EDITOR 1041 "$model_id"
main=$(scdrive wait --prop "$E2E_PROP" --timeout 90000 | cut -d' ' -f1)
e2e_expect "the main dialog opens directly" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "no start dialog was shown first" bash -c '! wine "$0/scdrive.exe" text "$1" "$2" >/dev/null 2>&1' \
  "$E2E_BIN" "$main" "$E2E_START_SOFTWARE"
e2e_expect "it is the software view, in Japanese" e2e_wait_text "$main" "$TITLE_ID" "$SOFTWARE_TITLE"
e2e_expect "its check button is in Japanese" e2e_wait_text "$main" "$E2E_MAIN_REFRESH" "アップデートを確認"
e2e_expect "the check ends" e2e_wait_check "$main" 120 "$E2E_START_MARK"
e2e_expect "the printer is the one the editor named" e2e_wait_text "$main" "$E2E_MAIN_PRINTER" "$SCUP_DEMO_PRINTER"
region_ja=$(scdrive text "$main" "$E2E_MAIN_REGION")
echo "region for locale 1041: $region_ja"
e2e_expect "a region is chosen for the editor's locale" test -n "$region_ja"
scdrive rows "$main" "$E2E_MAIN_LIST" >"$E2E_OUT/software-rows.txt"
e2e_expect "the check asked the printer for its firmware" grep -q . "$E2E_OUT/services/printer.log"
e2e_shot editor-software-view "$main"

scdrive click "$main" 2 >/dev/null
question=$(wait_question 30)
e2e_expect "closing asks question 1467 about the printer's firmware" test -n "$question"
[ -n "$question" ] || { e2e_finish; exit 1; }
e2e_shot firmware-question "$question"
e2e_expect "the first start still runs while it asks" e2e_running "$E2E_PID"
mark=$(e2e_activity)
scdrive click "$question" 6 >/dev/null
firmware=$(e2e_wait_new_window "$question" 30)
e2e_expect "Yes opens the main dialog again" test -n "$firmware"
[ -n "$firmware" ] || { e2e_finish; exit 1; }
e2e_expect "it is the firmware view" \
  bash -c 'for i in $(seq 1 50); do [ "$(wine "$0/scdrive.exe" text "$1" "$2" 2>/dev/null)" = "$3" ] && exit 0; sleep 0.2; done; exit 1' \
  "$E2E_BIN" "$firmware" "$TITLE_ID" "$FIRMWARE_TITLE"
e2e_expect "the firmware check ends" e2e_wait_check "$firmware" 120 "$mark"
e2e_expect "the firmware view offers the printer's newer firmware" \
  bash -c 'wine "$0/scdrive.exe" rows "$1" "$2" 2>/dev/null | grep -q "1\.05"' "$E2E_BIN" "$firmware" "$E2E_MAIN_LIST"
e2e_shot editor-firmware-view "$firmware"
scdrive click "$firmware" 2 >/dev/null
start=$(e2e_start_dialog 30000)
e2e_expect "closing the firmware view leads to the start dialog" \
  bash -c '[ -n "$2" ] && wine "$0/scdrive.exe" text "$2" "$1" >/dev/null 2>&1' "$E2E_BIN" "$E2E_START_SOFTWARE" "$start"
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends after Close" e2e_wait_exit "$E2E_PID" 20

# --- Second start: another locale for the same printer; the firmware is declined.
e2e_start_program -EDITOR 1033 "$model_id"
main=$(scdrive wait --prop "$E2E_PROP" --timeout 90000 | cut -d' ' -f1)
e2e_expect "the second start opens the main dialog directly" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "its check ends" e2e_wait_check "$main" 120 "$E2E_START_MARK"
region_en=$(scdrive text "$main" "$E2E_MAIN_REGION")
echo "region for locale 1033: $region_en"
e2e_expect "the region follows the editor's locale, not the last one" \
  bash -c '[ -n "$0" ] && [ "$0" != "$1" ]' "$region_en" "$region_ja"
e2e_expect "the texts stay in the PC's Japanese" e2e_wait_text "$main" "$TITLE_ID" "$SOFTWARE_TITLE"
scdrive click "$main" 2 >/dev/null
question=$(wait_question 30)
e2e_expect "closing asks question 1467 again" test -n "$question"
[ -n "$question" ] && scdrive click "$question" 7 >/dev/null
e2e_expect "No shows no start dialog" no_start_dialog 5
e2e_expect "No ends the program" e2e_wait_exit "$E2E_PID" 20
e2e_finish
