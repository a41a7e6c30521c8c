#!/usr/bin/env bash
# A second start while one runs brings the first forward and ends by itself.
# Usage: second_start.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin second_start "${1:?usage: $0 BUILD_DIR}"

e2e_start_program
first=$(scdrive wait --prop "$E2E_PROP" --timeout 90000 | cut -d' ' -f1)
e2e_expect "the first start's start dialog becomes ready" test -n "$first"
[ -n "$first" ] || e2e_finish || exit 1
e2e_shot first-start "$first"

# other_program_takes_the_foreground: another program's window opens and takes the foreground, as
# when the user works in another program; prints its handle.
other_program_takes_the_foreground() {
  local before window
  before=$(scdrive list-windows | awk '/ prop 0 / && /class "#32770"/ { print $1 }' | tr '\n' ' ')
  (cd "$E2E_BIN" && exec wine show_dialog.exe 1033 history) >/dev/null 2>&1 &
  E2E_EXTRA_PIDS+=($!)
  for _ in $(seq 1 300); do
    window=$(scdrive list-windows | awk -v skip=" $before " \
      '/ prop 0 / && /class "#32770"/ && index(skip, " " $1 " ") == 0 { print $1; exit }')
    [ -n "$window" ] && [ "$(scdrive foreground)" = "$window" ] && { echo "$window"; return 0; }
    sleep 0.1
  done
  return 1
}

# second_start_brings_forward WHAT HWND: while another program has the foreground, a second start
# ends by itself and brings the window the user works in (HWND) to the foreground.
second_start_brings_forward() {
  local what=$1 expected=$2 second other
  other=$(other_program_takes_the_foreground)
  e2e_expect "$what: another program's window takes the foreground" test -n "$other"
  (cd "$E2E_BIN" && exec wine ScUpdater.exe) &
  second=$!
  e2e_expect "$what: the second start ends by itself" e2e_wait_exit "$second" 30
  e2e_expect "$what: it is brought to the foreground" \
    bash -c 'for i in $(seq 1 50); do [ "$(wine "$0/scdrive.exe" foreground 2>/dev/null)" = "$1" ] && exit 0; sleep 0.1; done; exit 1' \
    "$E2E_BIN" "$expected"
  e2e_expect "$what: the first start still runs" e2e_running "$E2E_PID"
  [ -n "$other" ] && scdrive click "$other" 2 >/dev/null
}

second_start_brings_forward "the start dialog" "$first"
e2e_expect "only one program window is shown" test "$(scdrive list-windows | grep -c ' prop 1 ')" -eq 1

# The printer choice stands alone between the start dialog and the main dialog.
scdrive click "$first" "$E2E_START_FIRMWARE" >/dev/null
chooser=$(e2e_wait_other_dialog "$first" 30)
e2e_expect "the printer choice opens" test -n "$chooser"
[ -n "$chooser" ] && second_start_brings_forward "the printer choice" "$chooser"
[ -n "$chooser" ] && scdrive click "$chooser" 2 >/dev/null

# A modal dialog over the main dialog: the main dialog is disabled while it is open.
start=$(e2e_start_dialog 30000)
e2e_expect "Cancel in the printer choice goes back to the start dialog" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_software_view "$start")
e2e_expect "the software view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "its check ends" e2e_wait_idle "$main" 120
scdrive command "$main" "$ID_UPD_PROXY" >/dev/null
settings=$(e2e_wait_other_dialog "$main" 20)
e2e_expect "the proxy settings open over the main dialog" test -n "$settings"
[ -n "$settings" ] && second_start_brings_forward "the proxy settings" "$settings"
[ -n "$settings" ] && scdrive click "$settings" 2 >/dev/null

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the first start ends after Close" e2e_wait_exit "$E2E_PID" 15
e2e_finish
