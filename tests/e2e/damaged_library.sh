#!/usr/bin/env bash
# A damaged installation never leaves the program waiting without a window: a resource library
# that lacks the user's language shows the English windows; one whose templates cannot be made
# into windows, or none at all, is reported in a message box, and the program ends and releases
# its single-instance lock (a second start reports it again instead of ending silently).
# Usage: damaged_library.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin damaged_library "${1:?usage: $0 BUILD_DIR}" 1031

# install_copy NAME [LIBRARY]: the program in a folder of its own with LIBRARY as its ScUpRes.dll
# (none without LIBRARY); prints the folder.
install_copy() {
  local folder=$E2E_OUT/$1
  mkdir -p "$folder"
  cp "$E2E_BIN/ScUpdater.exe" "$E2E_BIN/unzip32.dll" "$E2E_BIN/scfilo.dll" "$folder/"
  [ -n "${2:-}" ] && cp "$2" "$folder/ScUpRes.dll"
  echo "$folder"
}

start_copy() {
  (cd "$1" && exec wine ScUpdater.exe) &
  E2E_PID=$!
}

# expect_failure_message WHAT: the box that tells the window could not be made shows; it is closed
# and the program must then end.
expect_failure_message() {
  local box
  box=$(scdrive wait-dialog --text-contains "cannot open its window" --timeout 60000 | cut -d' ' -f1)
  e2e_expect "$1: a message says the window cannot be opened" test -n "$box"
  [ -n "$box" ] && e2e_shot "$2" "$box"
  scdrive close-messageboxes --timeout 10000 --quiet 1000 >/dev/null
  e2e_expect "$1: the program ends after the message" e2e_wait_exit "$E2E_PID" 20
}

# A German PC with a library that holds the English copy alone.
english_only=$(install_copy english-only "$E2E_BIN/fixtures/ScUpRes-english-only.dll")
start_copy "$english_only"
start=$(scdrive wait --prop "$E2E_PROP" --timeout 60000 | cut -d' ' -f1)
e2e_expect "a language the library lacks: the start dialog shows" test -n "$start"
if [ -n "$start" ]; then
  e2e_shot english-fallback "$start"
  e2e_expect "its Close button is the English one" test "$(scdrive text "$start" 2)" = Close
  scdrive wait-enabled "$start" 2 1 --timeout 60000 >/dev/null
  scdrive close-messageboxes --timeout 2000 --quiet 500 >/dev/null
  scdrive click "$start" 2 >/dev/null
fi
e2e_expect "the program ends after Close" e2e_wait_exit "$E2E_PID" 20

# A library whose start dialog cannot be made into a window: told, ended, and told again on the
# next start (the single-instance lock was released).
broken=$(install_copy broken "$E2E_BIN/fixtures/ScUpRes-broken.dll")
start_copy "$broken"
expect_failure_message "broken templates" broken-message
start_copy "$broken"
expect_failure_message "broken templates, second start" broken-message-again

# No library at all.
missing=$(install_copy missing)
start_copy "$missing"
expect_failure_message "no resource library" missing-message
e2e_finish
