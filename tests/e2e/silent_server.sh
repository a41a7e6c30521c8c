#!/usr/bin/env bash
# The update server takes the program's requests and never answers. The user is never held: the
# start dialog says that it is connecting and its Close ends the program; in the main dialog the
# check's Cancel gives the dialog back, with no message about an unreachable server.
# Usage: silent_server.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin silent_server "${1:?usage: $0 BUILD_DIR}"
readonly START_STATUS=$IDC_START_STATUS
readonly SILENT="/_control/fault?kind=delay&ms=600000"
# As often as the program sends an exchange whose answer was cut short.
readonly CUT_TIMES=7

# --- Leaving the start dialog while it connects.
e2e_expect "the server is made silent" e2e_server_control POST "$SILENT"
asked=$(e2e_exchanges)
e2e_start_program
e2e_expect "the server holds the program's first request" e2e_wait_exchanges "$asked" 60
start=$(e2e_program_window)
e2e_expect "the start dialog is there" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
e2e_expect "the start dialog says that it is connecting" \
  e2e_wait_text "$start" "$START_STATUS" "Connecting to the update server..."
e2e_shot connecting "$start"
scdrive click "$start" 2 >/dev/null
e2e_expect "Close ends the program while the server keeps silent" e2e_wait_exit "$E2E_PID" 15

# --- Cancelling a check in the main dialog.
e2e_expect "the server answers again" e2e_server_control POST "/_control/fault?kind=none"
e2e_start_program
start=$(e2e_start_dialog 90000)
e2e_expect "the start dialog is ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
e2e_expect "the server is made silent for the check" e2e_server_control POST "$SILENT"
asked=$(e2e_exchanges)
scdrive click "$start" "$E2E_START_SOFTWARE" >/dev/null
main=$(e2e_wait_new_window "$start" 30)
e2e_expect "the software view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the check waits on the server" e2e_wait_exchanges "$asked" 60
panel=$(scdrive wait-dialog --class '#32770' --text-contains "Looking for updates" --timeout 30000 | cut -d' ' -f1)
e2e_expect "the check's progress shows" test -n "$panel"
[ -n "$panel" ] && e2e_shot checking "$panel"
e2e_expect "its Cancel can be pressed" bash -c \
  'wine "$0/scdrive.exe" wait-enabled "$1" 2 1 --timeout 10000 >/dev/null 2>&1' "$E2E_BIN" "$panel"
scdrive click "$panel" 2 >/dev/null
e2e_expect "Cancel gives the dialog back" e2e_wait_idle "$main" 15
e2e_expect "no message says that the server could not be reached" bash -c \
  '! wine "$0/scdrive.exe" wait-dialog --class "#32770" --text-contains "could not be reached" --timeout 2000 >/dev/null 2>&1' \
  "$E2E_BIN"
e2e_server_control POST "/_control/fault?kind=none" >/dev/null

# --- A check whose first query (the language's wide key) never gets its whole answer, however
# often it is asked again: the offer is not known, so the list may not say that all is up to date.
e2e_expect "the server cuts the answers to the check's first query" e2e_server_control POST \
  "/_control/fault?kind=cut-body&bytes=20&path=/scupdater/versioncheck&times=$CUT_TIMES"
e2e_refresh "$main"
e2e_expect "the check ends in a message that the server could not be reached" bash -c \
  'wine "$0/scdrive.exe" wait-dialog --class "#32770" --text-contains "could not be reached" --timeout 90000 >/dev/null 2>&1' \
  "$E2E_BIN"
scdrive close-messageboxes --timeout 10000 --quiet 1000 >/dev/null
e2e_expect "the dialog is ready again" e2e_wait_idle "$main" 30
e2e_expect "nothing is listed" test -z "$(e2e_rows "$main" "$E2E_MAIN_LIST")"
e2e_expect "the list's note does not say that all is up to date" \
  bash -c 'note=$(wine "$0/scdrive.exe" text "$1" "$2") && ! grep -q "up to date" <<<"$note"' \
  "$E2E_BIN" "$main" "$IDC_UPD_EMPTY"
e2e_server_control POST "/_control/fault?kind=none" >/dev/null

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20
e2e_finish
