#!/usr/bin/env bash
# Unattended runs as an IT department starts them: -CHECK reports what is offered, -INSTALL ALL
# installs it (the report and the history agree), -FIRMWARE updates the printer; with the server
# down the exit code is 5 and the report says so, with the printer unplugged its firmware fails and
# the history gains nothing, and a bad command line gives 2. No window comes up in any of them.
# Usage: unattended.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin unattended "${1:?usage: $0 BUILD_DIR}"
readonly EDITOR='Scribo Editor\5.2' ADDRESS_BOOK='Scribo Address Book\1.3'

scup_demo_install_applications "$E2E_BUILD" "$E2E_OUT/services"

run() { e2e_run_unattended "$@"; }
# reported KEY VALUE: the report has the line "KEY": "VALUE" (the writer puts one value a line).
reported() { grep -q "\"$1\": \"$2\"" "$REPORT"; }
no_window() { test -z "$SAW_WINDOW"; }

run check -CHECK
e2e_expect "-CHECK ends with 0" test "$RUN_EXIT" -eq 0
e2e_expect "its report names the result" reported name done
e2e_expect "the report offers the editor 5.2.1" \
  bash -c 'grep -A6 "\"id\": \"PP-SCEDIT52\"" "$0" | grep -q "\"offered\": \"5.2.1"' "$REPORT"
e2e_expect "the report offers the address book" reported id PP-CONTACT13
e2e_expect "the report offers the printer's newer firmware (one family printer)" reported id FP-MAIN
e2e_expect "-CHECK installed nothing" test "$(scup_demo_installed_version "$EDITOR")" = 5.2.0.0
e2e_expect "no window is left" no_window

run install -INSTALL ALL
e2e_expect "-INSTALL ALL ends with 0" test "$RUN_EXIT" -eq 0
e2e_expect "the editor is at 5.2.1.0" test "$(scup_demo_installed_version "$EDITOR")" = 5.2.1.0
e2e_expect "the address book is at 1.3.2.0" test "$(scup_demo_installed_version "$ADDRESS_BOOK")" = 1.3.2.0
e2e_expect "the report lists the editor as installed, 5.2.0.0 before" \
  bash -c 'sed -n "/\"installed\": \[/,/\]/p" "$0" | grep -A3 "PP-SCEDIT52" | grep -q "\"before\": \"5.2.0.0\""' "$REPORT"
log=$(e2e_data_file ScUpdater.log)
e2e_expect "the history records both software updates, as the report does" \
  test "$(grep -o '<Category>PCS</Category>' "${log:-/nonexistent}" | wc -l)" -eq 2
e2e_expect "no window is left" no_window

firmware_records() { grep -o '<Category>FIRM</Category>' "${log:-/nonexistent}" | wc -l; }
history_before=$(firmware_records)
scup_stop_service "$SCUP_DEMO_PRINTER_PID"
run unplugged -FIRMWARE "$SCUP_DEMO_PRINTER"
e2e_expect "an unplugged printer fails the run (1)" test "$RUN_EXIT" -eq 1
e2e_expect "the report says the printer does not answer" reported reason "the printer does not answer"
e2e_expect "the history gains nothing" test "$(firmware_records)" -eq "$history_before"

# A printer that takes the firmware but goes on listing its old version: the transfer's own
# success is no proof, the run fails and the history gains nothing.
scup_demo_restart_printer "$E2E_BUILD" "$E2E_OUT/services" --keep-old-version
run kept_old -FIRMWARE "$SCUP_DEMO_PRINTER"
e2e_expect "a printer that keeps its old version fails the run (1)" test "$RUN_EXIT" -eq 1
e2e_expect "the printer acknowledged the main firmware" \
  grep -q 'acknowledged but not stored name=FP-MAIN' "$E2E_OUT/services/printer.log"
e2e_expect "the report says the printer did not store the new version" \
  reported reason "the printer did not store the new version"
e2e_expect "the history gains nothing" test "$(firmware_records)" -eq "$history_before"

# Plugged in again: the same printer takes its newer firmware.
scup_demo_restart_printer "$E2E_BUILD" "$E2E_OUT/services"
run firmware -FIRMWARE "$SCUP_DEMO_PRINTER"
e2e_expect "-FIRMWARE ends with 0" test "$RUN_EXIT" -eq 0
e2e_expect "the printer stores the main firmware 1.05" \
  grep -q 'name=FP-MAIN version=1\.05' "$E2E_OUT/services/printer-state.txt"
e2e_expect "the report lists the main firmware as sent" \
  bash -c 'sed -n "/\"installed\": \[/,/\]/p" "$0" | grep -q "FP-MAIN"' "$REPORT"
e2e_expect "no window is left" no_window


# -SELFUPDATE from an installed copy older than the server's updater: the run hands its task to
# the new updater, which installs itself and writes the report of the check in its place.
offered=$(scup_demo_catalog_updater_version "$E2E_BUILD")
installed_dir="$WINEPREFIX/drive_c/Program Files/Corvane/ScUpdater"
rm -rf "$installed_dir"
mkdir -p "$installed_dir"
cp "$E2E_BIN"/{ScUpdater.exe,ScUpRes.dll,scfilo.dll,unzip32.dll} "$installed_dir/"
cp "$E2E_BIN/previous/ScUpdater.exe" "$installed_dir/"
scup_demo_set_installed_version 0.9.0
REPORT=$E2E_OUT/selfupdate.json
rm -f "$REPORT"
(cd "$installed_dir" && SCUPDATER_TRACE=1 exec wine 'C:\Program Files\Corvane\ScUpdater\ScUpdater.exe' \
  -CHECK -SELFUPDATE -REPORT "$(winepath -w "$REPORT" 2>/dev/null)") >"$E2E_OUT/selfupdate.out" 2>&1
e2e_expect "-CHECK -SELFUPDATE hands over with 0" test $? -eq 0
# new_report: the report the new updater wrote (its version is the server's) once it has ended.
new_report() { grep -q "\"version\": \"$offered\"" "$REPORT" 2>/dev/null && [ -z "$(e2e_pids 'ScUpdater\.exe')" ]; }
wait_new_report() {
  local i
  for i in $(seq 1 240); do new_report && return 0; sleep 0.5; done
  return 1
}
e2e_expect "the new updater $offered writes the report of the check" wait_new_report
e2e_expect "its check is done" reported name done
# The new updater is started with "-N" (it waits for the old one to end) before the task.
e2e_expect "its command is the check, without -SELFUPDATE" grep -Eq '"command": "(-N )?-CHECK -REPORT ' "$REPORT"
sed 's/^/  /' "$REPORT" 2>/dev/null | head -20
scup_demo_set_installed_version "$offered"

# IT's policy comes before the user's own settings: the addresses of a server that is not there,
# and reports in German. Without the policy the same check reaches the demo server again.
scup_import_reg policy <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Policies\\Corvane Industries, Ltd.\\ScUpdater]
"VersionCheckURL"="http://127.0.0.1:9/scupdater/versioncheck"
"NoticeURL"="http://127.0.0.1:9/scupdater/notice"
"FileUpdateURL"="http://127.0.0.1:9/scupdater/fileupdate"
"UnattendedLanguage"="de"
REG
run policy -CHECK
e2e_expect "the policy's server, which is not there, gives 5" test "$RUN_EXIT" -eq 5
e2e_expect "the report is in the policy's language" grep -q "Der Updateserver konnte nicht erreicht werden" "$REPORT"
scup_import_reg no-policy <<REG
Windows Registry Editor Version 5.00

[-HKEY_LOCAL_MACHINE\\Software\\Policies\\Corvane Industries, Ltd.\\ScUpdater]
REG
run without-policy -CHECK
e2e_expect "without the policy the user's server is reached again" test "$RUN_EXIT" -eq 0

scup_demo_stop_server
run down -CHECK
e2e_expect "a server down gives 5" test "$RUN_EXIT" -eq 5
e2e_expect "the report says the server was not reached" grep -q '"reached": false' "$REPORT"

run bad -INSTALL
e2e_expect "a bad command line gives 2" test "$RUN_EXIT" -eq 2
e2e_expect "its report says why" reported reason "-INSTALL needs a value"
e2e_expect "no window is left" no_window
e2e_finish
