#!/usr/bin/env bash
# The update server is down when the program starts and comes back later: warning 1487 over the
# start dialog, then a check in the firmware view that works against the server once it is back.
# Usage: server_down.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin server_down "${1:?usage: $0 BUILD_DIR}"
address=$SCUP_DEMO_SERVER
port=${SCUP_DEMO_SERVER##*:}
scup_demo_stop_server

e2e_start_program
box=$(scdrive wait-dialog --class '#32770' --owner-prop "$E2E_PROP" --text-contains "could not be reached" \
  --timeout 90000 | cut -d' ' -f1)
e2e_expect "warning 1487 shows over the start dialog" test -n "$box"
[ -n "$box" ] && e2e_shot server-down-warning "$box"
scdrive close-messageboxes --timeout 10000 --quiet 1000 >/dev/null
E2E_START_MARK=""
start=$(e2e_start_dialog 30000)
e2e_expect "the start dialog is ready after the warning" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }

scup_demo_start_server "$E2E_BUILD" "$E2E_OUT/services" "$port"
e2e_expect "the server is back at the same address" test "$SCUP_DEMO_SERVER" = "$address"

main=$(e2e_open_firmware_view "$start")
e2e_expect "the firmware view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the check ends" e2e_wait_idle "$main" 120
e2e_expect "the list offers the printer's newer firmware" \
  bash -c 'wine "$0/scdrive.exe" rows "$1" "$2" 2>/dev/null | grep -q "1\.05"' "$E2E_BIN" "$main" "$E2E_MAIN_LIST"
e2e_shot firmware-view "$main"
e2e_expect "the check reached the server once it was back" grep -q "/scupdater/versioncheck" "$E2E_OUT/services/server.log"

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20
e2e_finish
