#!/usr/bin/env bash
# End-to-end: starts the real ScUpdater.exe (English, one demo printer, no update server) in a
# Wine prefix of its own and drives it with scdrive as a user would: the "server could not be
# reached" box shows over the start dialog and blocks it, OK returns to the start dialog, and Close
# ends the program. Usage: start_dialog_test.sh BIN_DIR [PREFIX_DIR]
set -uo pipefail

bin=$(cd "${1:?usage: $0 BIN_DIR [PREFIX_DIR]}" && pwd)
prefix=${2:-$bin/../driver-prefix}
source "$(dirname "$0")/../../scripts/lib/wineenv.sh"
export LC_ALL=C.UTF-8

readonly PROP=ScriboUpdaterWindow
readonly CLOSE_ID=2

passed=0
failed=0
program_pid=""

pass() { echo "ok - $1"; passed=$((passed + 1)); }
fail() { echo "FAIL - $1"; failed=$((failed + 1)); }
# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

scdrive() { wine "$bin/scdrive.exe" "$@"; }

program_running() { [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; }

# wait_for_exit SECONDS: true when the program ended in time.
wait_for_exit() {
  local i
  for i in $(seq 1 $(($1 * 10))); do
    program_running || return 0
    sleep 0.1
  done
  return 1
}

cleanup() {
  program_running && wineserver -k
  [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null
  scup_end_wine_session 20
  scup_stop_display
}

start_program() {
  scup_wine_prefix "$prefix" || return 1
  wineserver -k 2>/dev/null
  wineserver -w
  scup_seed_printer "Corvane SC-200"
  scup_set_default_lcid 1033
  (cd "$bin" && exec wine ScUpdater.exe) &
  program_pid=$!
}

# The first of the program's windows (carrying its property) that list-windows shows.
program_window() {
  scdrive list-windows | awk '/ prop 1 / { print $1; exit }'
}

trap cleanup EXIT
scup_start_display || exit 1
start_program || { echo "FAIL - could not prepare the Wine prefix"; exit 1; }

box=$(scdrive wait-dialog --class '#32770' --owner-prop "$PROP" --text-contains "could not be reached" \
  --timeout 60000)
check "the server box shows over the start dialog" test -n "$box"

start=$(program_window)
check "the start dialog exists while the box shows" test -n "$start"
check "the start dialog is not ready while the box shows" \
  bash -c '! wine "$0/scdrive.exe" wait --prop "$1" --timeout 500 >/dev/null 2>&1' "$bin" "$PROP"
# The box holds the dialog; Close itself stays usable for when the thread is only waiting.
check "Close stays enabled while the thread works" \
  bash -c 'wine "$0/scdrive.exe" wait-enabled "$1" "$2" 1 --timeout 2000 >/dev/null 2>&1' "$bin" "$start" "$CLOSE_ID"

closed=$(scdrive close-messageboxes --timeout 10000 --quiet 1500)
check "close-messageboxes answers exactly the one box" test "$(grep -c '^closed ' <<<"$closed")" -eq 1

ready=$(scdrive wait --prop "$PROP" --timeout 10000)
check "the start dialog is ready after OK" test "${ready%% *}" = "$start"
read -r _ _ _ width height <<<"$ready"
check "the start dialog has a usable size" test "${width:-0}" -gt 200 -a "${height:-0}" -gt 150
check "the Close button says Close" test "$(scdrive text "$start" "$CLOSE_ID")" = "Close"
check "rect gives the rectangle that wait gave" test "$(scdrive rect "$start")" = "${ready#* }"

check "clicking Close is accepted" scdrive click "$start" "$CLOSE_ID"
check "the program ends after Close" wait_for_exit 10
if ! program_running && [ -n "$program_pid" ]; then
  wait "$program_pid"
  check "the program ends with exit code 0" test $? -eq 0
  program_pid=""
fi
check "no window of the program is left" test -z "$(program_window)"
check "rect of a window that is gone fails" bash -c '! wine "$0/scdrive.exe" rect "$1" >/dev/null 2>&1' "$bin" "$start"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
