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

# Something else takes the foreground, as when the user works in another program.
(cd "$E2E_BIN" && exec wine show_dialog.exe 1033 history) &
E2E_EXTRA_PIDS+=($!)
other=""
for _ in $(seq 1 300); do
  other=$(scdrive list-windows | awk '/ prop 0 / && /class "#32770"/ { print $1; exit }')
  [ -n "$other" ] && break
  sleep 0.1
done
e2e_expect "another program's window takes the foreground" \
  bash -c '[ -n "$1" ] && [ "$(wine "$0/scdrive.exe" foreground 2>/dev/null)" = "$1" ]' "$E2E_BIN" "$other"

(cd "$E2E_BIN" && exec wine ScUpdater.exe) &
second=$!
e2e_expect "the second start ends by itself" e2e_wait_exit "$second" 30
e2e_expect "the first start's dialog is brought to the foreground" \
  bash -c 'for i in $(seq 1 50); do [ "$(wine "$0/scdrive.exe" foreground 2>/dev/null)" = "$1" ] && exit 0; sleep 0.1; done; exit 1' \
  "$E2E_BIN" "$first"
e2e_expect "only one program window is shown" test "$(scdrive list-windows | grep -c ' prop 1 ')" -eq 1
e2e_expect "the first start still runs" e2e_running "$E2E_PID"

[ -n "$other" ] && scdrive click "$other" 2 >/dev/null
scdrive click "$first" 2 >/dev/null
e2e_expect "the first start ends after Close" e2e_wait_exit "$E2E_PID" 15
e2e_finish
