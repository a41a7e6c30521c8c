#!/usr/bin/env bash
# The Arabic user interface: the start dialog is mirrored, and the message that the update server
# cannot be reached reads right to left.
# Usage: arabic.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin arabic "${1:?usage: $0 BUILD_DIR}" 1025
scup_demo_stop_server

e2e_start_program
box=$(scdrive wait-dialog --class '#32770' --owner-prop "$E2E_PROP" --timeout 90000 | cut -d' ' -f1)
e2e_expect "a message shows over the start dialog when the server is down" test -n "$box"
if [ -n "$box" ]; then
  e2e_shot server-down-message "$box"
  layout=$(scdrive layout "$box")
  echo "message box layout: $layout"
  e2e_expect "the message is right-aligned and reads right to left" \
    bash -c '[[ "$1" == *right-aligned* && ( "$1" == *right-to-left-reading* || "$1" == mirrored* ) ]]' _ "$layout"
  scdrive close-messageboxes --timeout 10000 --quiet 1000 >/dev/null
fi
start=$(scdrive wait --prop "$E2E_PROP" --timeout 30000 | cut -d' ' -f1)
e2e_expect "the start dialog becomes ready after the message" test -n "$start"
if [ -n "$start" ]; then
  e2e_shot start-dialog "$start"
  e2e_expect "the start dialog is mirrored" test "$(scdrive layout "$start" | cut -d' ' -f1)" = mirrored
  e2e_expect "its Close button is in Arabic" bash -c '[ -n "$1" ] && [ "$1" != Close ]' _ "$(scdrive text "$start" 2)"
  scdrive click "$start" 2 >/dev/null
fi
e2e_expect "the program ends after Close" e2e_wait_exit "$E2E_PID" 15
e2e_finish
