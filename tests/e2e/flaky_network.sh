#!/usr/bin/env bash
# Networks that fail as real ones do, met by unattended runs of the real program: a server that
# drops the connection twice and then serves, one that is busy twice, a package cut off in the
# middle whose rest comes by range, and a hotel's portal that answers with its sign-in page or
# sends the request to itself. Each retry is counted in the update server's log. The time of a
# check against a server that drops every third connection is printed beside a clean one's.
# Usage: flaky_network.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
# Plain http to the update server itself, so that its fault switches reach the program unchanged.
SCUP_DEMO_ROAD=http
e2e_begin flaky_network "${1:?usage: $0 BUILD_DIR}"
# The installers are signed by the test authority, which the https road makes the PC trust.
scup_demo_trust_test_authority "$E2E_BUILD" || { echo "FAIL - the test authority is not trusted"; exit 1; }
readonly EDITOR='Scribo Editor\5.2' ADDRESS_BOOK='Scribo Address Book\1.3'
readonly PACKAGE=/scupdater/files/software/PP-SCEDIT52_ENU_ALL_5.2.1.exe
services=$E2E_OUT/services
scup_demo_install_applications "$E2E_BUILD" "$services" || { echo "FAIL - the applications did not install"; exit 1; }

run() { e2e_run_unattended "$@"; }
reported() { grep -q "\"$1\": \"$2\"" "$REPORT"; }
# logged TEXT: how many lines of the update server's log hold TEXT.
logged() { grep -cF -- "$1" "$services/server.log"; }
fault() { e2e_server_control POST "/_control/fault?$1" >/dev/null; }
# timed_check NAME: an unattended -CHECK; leaves its seconds in SECONDS_TAKEN.
timed_check() {
  local started=$EPOCHREALTIME
  run "$1" -CHECK >/dev/null
  SECONDS_TAKEN=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
}

# --- Dropped twice, then served.
e2e_expect "the server drops the first two version queries" \
  e2e_server_control POST "/_control/fault?kind=drop&path=/scupdater/versioncheck&times=2"
run dropped -CHECK
e2e_expect "the check ends with 0" test "$RUN_EXIT" -eq 0
e2e_expect "it offers the editor" reported id PP-SCEDIT52
e2e_expect "the server dropped two requests" test "$(logged "fault drop: closed without an answer")" -eq 2

# --- Busy twice for the address book's download (its signed statement comes first), with a
# Retry-After of one second; then served.
readonly BOOK_PACKAGE=/scupdater/files/software/PP-CONTACT13_ENU_ALL_1.3.2.exe
e2e_expect "the server is busy twice for the address book's download" \
  e2e_server_control POST "/_control/fault?kind=status&code=503&retry-after=1&path=$BOOK_PACKAGE&times=2"
run busy -INSTALL PP-CONTACT13
e2e_expect "the install ends with 0" test "$RUN_EXIT" -eq 0
e2e_expect "the address book is at 1.3.2.0" test "$(scup_demo_installed_version "$ADDRESS_BOOK")" = 1.3.2.0
e2e_expect "the server said twice that it was busy" test "$(logged "fault status 503")" -eq 2
e2e_expect "the signed statement was then served" test "$(logged "GET $BOOK_PACKAGE.sig 200")" -eq 1
e2e_expect "and the package after it" test "$(logged "GET $BOOK_PACKAGE 200")" -eq 1

# --- The editor's package cut off after 300000 bytes; the rest comes by range and the whole is
# checked against its signed size and hash before it runs. (The switch's path also takes in the
# package's signed statement, fetched first and shorter than the cut, so it counts two requests.)
e2e_expect "the server cuts the editor's package once" \
  e2e_server_control POST "/_control/fault?kind=cut-body&bytes=300000&path=$PACKAGE&times=2"
run install -INSTALL PP-SCEDIT52
e2e_expect "the install ends with 0" test "$RUN_EXIT" -eq 0
e2e_expect "the editor is at 5.2.1.0" test "$(scup_demo_installed_version "$EDITOR")" = 5.2.1.0
e2e_expect "the package was cut once" test "$(logged "fault cut body after 300000 of 729816 bytes")" -eq 1
e2e_expect "its rest came by range" test "$(logged "GET $PACKAGE 206 bytes 300000-729815 of 729816")" -eq 1

# --- A portal in place of the server: its page, then its redirect.
for as in page redirect; do
  e2e_expect "a portal answers for the server ($as)" fault "kind=portal&as=$as"
  run "portal-$as" -CHECK
  e2e_expect "the check ends with 5, not reached ($as)" test "$RUN_EXIT" -eq 5
  e2e_expect "the report says that the network asks to sign in first ($as)" \
    grep -q "This network asks you to sign in first" "$REPORT"
done
fault "kind=none"

# --- The time a check takes when every third connection is dropped, beside a clean one.
timed_check clean
clean=$SECONDS_TAKEN
fault "kind=drop&every=3"
before=$(logged "fault drop: closed without an answer")
timed_check every-third
flaky=$SECONDS_TAKEN
e2e_expect "the check through the dropping server ends with 0" reported name done
dropped=$(($(logged "fault drop: closed without an answer") - before))
fault "kind=none"
echo "figures: a -CHECK took ${clean} s against a clean server and ${flaky} s when every third connection was dropped (${dropped} of its connections dropped)"
e2e_finish
