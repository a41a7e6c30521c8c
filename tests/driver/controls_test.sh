#!/usr/bin/env bash
# scdrive's control subcommands against a real dialog of the program: show_dialog.exe shows the
# history dialog over a sample history; its list rows, the Close button's state and the waits are
# read from outside as an end-to-end run reads them. Usage: controls_test.sh BIN_DIR [PREFIX_DIR]
set -uo pipefail

bin=$(cd "${1:?usage: $0 BIN_DIR [PREFIX_DIR]}" && pwd)
prefix=${2:-$bin/../driver-prefix}
source "$(dirname "$0")/../../scripts/lib/wineenv.sh"
export LC_ALL=C.UTF-8

readonly LIST_ID=1191
readonly CLOSE_ID=2

passed=0
failed=0
helper_pid=""
pass() { echo "ok - $1"; passed=$((passed + 1)); }
fail() { echo "FAIL - $1"; failed=$((failed + 1)); }
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
scdrive() { wine "$bin/scdrive.exe" "$@"; }
fails() { ! wine "$bin/scdrive.exe" "$@" >/dev/null 2>&1; }

cleanup() {
  [ -n "$helper_pid" ] && kill -0 "$helper_pid" 2>/dev/null && wineserver -k
  [ -n "$helper_pid" ] && wait "$helper_pid" 2>/dev/null
  scup_end_wine_session 20
  scup_stop_display
}
trap cleanup EXIT
scup_start_display || exit 1
scup_wine_prefix "$prefix" || { echo "FAIL - could not prepare the Wine prefix"; exit 1; }
(cd "$bin" && exec wine show_dialog.exe 1033 history) &
helper_pid=$!

dialog=$(scdrive wait-dialog --class '#32770' --timeout 60000 | cut -d' ' -f1)
check "the history dialog shows" test -n "$dialog"
[ -n "$dialog" ] || { echo "$passed passed, $failed failed"; exit 1; }

rows=$(scdrive rows "$dialog" "$LIST_ID" 2>/dev/null)
check "rows lists the three sample records" test "$(grep -c . <<<"$rows")" -eq 3
check "a row's cells come tab-separated with its tick state first" \
  grep -qP '^\[ \]\tScribo Editor 5\.2\t5\.2\.1\t[^\t]+\tCorvane SC-200\tJapanese$' <<<"$rows"
check "wait-rows sees at least three rows" test "$(scdrive wait-rows "$dialog" "$LIST_ID" 3 2>/dev/null)" = 3
check "wait-rows for more rows than there are fails in time" fails wait-rows "$dialog" "$LIST_ID" 4 --timeout 300
check "Close is enabled" test "$(scdrive enabled "$dialog" "$CLOSE_ID" 2>/dev/null)" = 1
check "waiting for Close to be disabled fails in time" fails wait-enabled "$dialog" "$CLOSE_ID" 0 --timeout 300
check "a row that does not exist cannot be ticked" fails tick "$dialog" "$LIST_ID" 7 1
check "a control that does not exist is an error" fails enabled "$dialog" 4242
check "Close closes the dialog" scdrive click "$dialog" "$CLOSE_ID"
for _ in $(seq 1 50); do kill -0 "$helper_pid" 2>/dev/null || break; sleep 0.1; done
check "the dialog has gone" fails rows "$dialog" "$LIST_ID"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
