#!/usr/bin/env bash
# The update service over https shows a certificate the PC must not accept: one from an authority
# the PC does not trust, an expired one, one issued for another name. Each time the program says
# that the server's identity could not be verified (not that it could not be reached), nothing is
# asked of the service and nothing is downloaded. The program never turns the check off, so the
# certificate the PC trusts works again at once.
# Usage: https_certificates.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin https_certificates "${1:?usage: $0 BUILD_DIR}"
services=$E2E_OUT/services
readonly NOT_VERIFIED="identity of the update server could not be verified"

# served: the requests the service has answered so far (nginx's log, exchanges and files).
served() { cat "$services/nginx/access.log" 2>/dev/null | wc -l; }
downloads() { find "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Corvane -path '*DownloadedFiles/*' -type f 2>/dev/null | wc -l; }

# refused CERT WHAT: the service restarted with CERT; the program refuses it with the message.
refused() {
  local cert=$1 what=$2 box before
  scup_demo_stop_server
  SCUP_DEMO_CERT=$cert scup_demo_start_server "$E2E_BUILD" "$services" "$port" ||
    { e2e_expect "the service shows the $what certificate" false; return; }
  before=$(served)
  e2e_start_program
  box=$(scdrive wait-dialog --class '#32770' --owner-prop "$E2E_PROP" --text-contains "$NOT_VERIFIED" \
    --timeout 90000 | cut -d' ' -f1)
  e2e_expect "the $what certificate: the identity could not be verified" test -n "$box"
  [ -n "$box" ] && e2e_shot "refused-$cert" "$box"
  e2e_expect "the $what certificate: no message calls the server unreachable" \
    scdrive_fails wait-dialog --class '#32770' --text-contains "could not be reached" --timeout 1
  scdrive close-messageboxes --timeout 10000 --quiet 1000 >/dev/null
  # No exchange reaches the service: the start dialog is ready without one.
  E2E_START_MARK=""
  local start
  start=$(e2e_start_dialog 30000)
  [ -n "$start" ] && scdrive click "$start" 2 >/dev/null
  e2e_expect "the $what certificate: the program ends" e2e_wait_exit "$E2E_PID" 20
  e2e_running "$E2E_PID" && scup_kill_wine_programs
  e2e_expect "the $what certificate: nothing was asked of the service" test "$(served)" -eq "$before"
  e2e_expect "the $what certificate: nothing was downloaded" test "$(downloads)" -eq 0
}

port=${SCUP_DEMO_SERVER##*:}
e2e_expect "the road is https" test "${SCUP_DEMO_SERVER%%://*}" = https
refused untrusted "untrusted"
refused expired "expired"
refused wrongname "wrong-name"

# The certificate the PC trusts: the firmware view is checked over the same road.
scup_demo_stop_server
scup_demo_start_server "$E2E_BUILD" "$services" "$port"
before=$(served)
e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the trusted certificate: the start dialog is ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_firmware_view "$start")
e2e_expect "the trusted certificate: the firmware view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the trusted certificate: the check ends" e2e_wait_idle "$main" 120
e2e_expect "the trusted certificate: the printer's newer firmware is offered" \
  bash -c 'grep -q "1\.05" <<<"$0"' "$(e2e_rows "$main" "$E2E_MAIN_LIST")"
e2e_expect "the trusted certificate: the service answered over https" test "$(served)" -gt "$before"
scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20
e2e_finish
