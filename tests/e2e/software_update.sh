#!/usr/bin/env bash
# The demo PC has the label editor 5.2 and the address book 1.3 at older releases. The software
# view offers both newer packages ticked; installing runs their installers with the silent command
# lines, the history lists them, and the check after the installation offers them no more.
# Usage: software_update.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin software_update "${1:?usage: $0 BUILD_DIR}"
readonly EDITOR='Scribo Editor\5.2' ADDRESS_BOOK='Scribo Address Book\1.3'

scup_demo_install_applications "$E2E_BUILD" "$E2E_OUT/services"
e2e_expect "the demo PC has the editor 5.2.0.0" test "$(scup_demo_installed_version "$EDITOR")" = 5.2.0.0
e2e_expect "the demo PC has the address book 1.3.0.0" \
  test "$(scup_demo_installed_version "$ADDRESS_BOOK")" = 1.3.0.0

e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the start dialog is ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_software_view "$start")
e2e_expect "the software view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the check ends" e2e_wait_idle "$main" 120
offered=$(e2e_rows "$main" "$E2E_MAIN_LIST")
echo "offered:"; echo "$offered" | sed 's/^/  /'
e2e_expect "the editor 5.2.1 is offered, ticked" grep -q '^\[x\].*Scribo Editor.*5\.2\.1' <<<"$offered"
e2e_expect "the address book 1.3.2 is offered, ticked" grep -q '^\[x\].*Address Book.*1\.3\.2' <<<"$offered"
e2e_expect "nothing else is offered" test "$(grep -c . <<<"$offered")" -eq 2
e2e_shot software-offered "$main"

e2e_expect "install is enabled" test "$(scdrive enabled "$main" "$E2E_MAIN_INSTALL" | tr -d '\r')" = 1
scdrive click "$main" "$E2E_MAIN_INSTALL" >/dev/null
# The installers record their command lines beside themselves in the download folder, which the
# program keeps until it ends.
editor_args=$(e2e_wait_file 'PP-SCEDIT52_*.exe.args' 120)
e2e_expect "the installation ends" e2e_wait_idle "$main" 180
address_args=$(e2e_data_file 'PP-CONTACT13_*.exe.args')
echo "installer records: ${editor_args:-none} ${address_args:-none}"
cat "${editor_args:-/dev/null}" "${address_args:-/dev/null}" | sed 's/^/  /'
# Each stand-in accepts only its product's silent command line ("REJECTED" otherwise).
e2e_expect "the editor's installer ran once, with its silent switches" \
  bash -c 'test "$(cat "$0")" = "$(grep -x "ACCEPTED /s /a /silent .*/usage /qn" "$0")"' "${editor_args:-/nonexistent}"
e2e_expect "the address book's installer ran once, with its silent switches" \
  bash -c 'test "$(cat "$0")" = "$(grep -x "ACCEPTED /s /a /silent .*/qn" "$0")"' "${address_args:-/nonexistent}"
e2e_expect "the editor is at 5.2.1.0 now" test "$(scup_demo_installed_version "$EDITOR")" = 5.2.1.0
e2e_expect "the address book is at 1.3.2.0 now" test "$(scup_demo_installed_version "$ADDRESS_BOOK")" = 1.3.2.0
e2e_expect "no message box came up" test -z "$(e2e_wait_other_dialog "$main" 1)"
e2e_shot software-installed "$main"

history=$(e2e_open_history "$main")
e2e_expect "the history dialog opens" test -n "$history"
if [ -n "$history" ]; then
  recorded=$(e2e_rows "$history" "$E2E_HISTORY_LIST")
  echo "history:"; echo "$recorded" | sed 's/^/  /'
  e2e_expect "the history lists the editor 5.2.1 for the printer" \
    grep -q 'Scribo Editor 5\.2\.1.*5\.2\.1.*SC-200' <<<"$recorded"
  e2e_expect "the history lists the address book 1.3.2" grep -q 'Address Book 1\.3\.2.*1\.3\.2' <<<"$recorded"
  e2e_shot software-history "$history"
  scdrive click "$history" 2 >/dev/null
  e2e_expect "the history dialog closes" scdrive wait-enabled "$main" "$E2E_MAIN_LIST" 1 --timeout 10000
fi
log=$(e2e_data_file ScUpdater.log)
e2e_expect "the history file records two software updates" \
  test "$(grep -o '<Category>PCS</Category>' "${log:-/nonexistent}" | wc -l)" -eq 2

e2e_refresh "$main"
e2e_expect "the check after the installation ends" e2e_wait_idle "$main" 120
left=$(e2e_rows "$main" "$E2E_MAIN_LIST")
e2e_expect "the installed editor is no longer offered" bash -c '! grep -q "Scribo Editor" <<<"$0"' "$left"
e2e_expect "the installed address book is no longer offered" bash -c '! grep -q "Address Book" <<<"$0"' "$left"
e2e_expect "the refresh asked the server again" \
  test "$(grep -c '/scupdater/versioncheck' "$E2E_OUT/services/server.log")" -ge 2

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20
e2e_finish
