#!/usr/bin/env bash
# A proxy that asks for credentials: the user enters it in the proxy settings (menu command 105 of
# the main dialog), is asked for the credentials once, types them and has them saved; the check then
# goes through the proxy. The next start uses the saved credentials without asking.
# Usage: proxy.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin proxy "${1:?usage: $0 BUILD_DIR}"
readonly PROXY_MENU=$ID_UPD_PROXY
readonly PROXY_HOST=$IDC_PROXY_HOST PROXY_PORT=$IDC_PROXY_PORT PROXY_USE=$IDC_PROXY_USE
readonly CRED_USER=$IDC_PROXY_USER_NAME CRED_PASSWORD=$IDC_PROXY_USER_PASSWORD CRED_SAVE=$IDC_PROXY_USER_SAVE
services=$E2E_OUT/services
# The applications at older releases, so that each check has updates to list.
scup_demo_install_applications "$E2E_BUILD" "$services" || { echo "FAIL - the applications did not install"; exit 1; }

# Wine's HTTP stack goes direct for 127.0.0.1 whatever the proxy settings say, so the update server
# moves to 127.0.0.2 and only the proxy stays on 127.0.0.1. The road is plain http: under Wine the
# platform's proxy credentials do not reach a tunnel's CONNECT.
scup_demo_stop_server
SCUP_DEMO_ROAD=http
: >"$services/server.log"
scup_demo_start_server "$E2E_BUILD" "$services" 0 127.0.0.2 || { echo "FAIL - the update server did not start"; exit 1; }
server=${SCUP_DEMO_SERVER#http://}

proxy_log=$services/tinyproxy.log
scup_start_tinyproxy "$services" tinyproxy "BasicAuth office s3cret" || { echo "FAIL - tinyproxy did not start"; exit 1; }
proxy_port=$SCUP_TINYPROXY_PORT

# Requests for the update server that the proxy passed on, and those the server answered.
proxied() { grep -c "Request.*http://$server/" "$proxy_log" 2>/dev/null; }
served() { grep -c "/scupdater/" "$services/server.log" 2>/dev/null; }

# credentials_dialog: prints the open proxy credentials dialog, if any.
credentials_dialog() {
  local hwnd
  for hwnd in $(scdrive list-windows | awk '/class "#32770"/ && / enabled 1 / { print $1 }'); do
    scdrive text "$hwnd" "$CRED_USER" >/dev/null 2>&1 && { echo "$hwnd"; return 0; }
  done
  return 1
}

# check_through MAIN SECONDS: waits for the check to end, answering every credentials dialog with
# the proxy's account (saved); prints how many were asked.
check_through() {
  local main=$1 asked=0 i box
  for i in $(seq 1 $(($2 * 2))); do
    if box=$(credentials_dialog); then
      asked=$((asked + 1))
      [ "$asked" -eq 1 ] && e2e_shot credentials-dialog "$box"
      scdrive type "$box" "$CRED_USER" office >/dev/null
      scdrive type "$box" "$CRED_PASSWORD" s3cret >/dev/null
      [ "$(scdrive text "$box" "$CRED_SAVE" >/dev/null && scdrive enabled "$box" "$CRED_SAVE")" = 1 ] &&
        scdrive click "$box" "$CRED_SAVE" >/dev/null
      scdrive click "$box" 1 >/dev/null
      sleep 1
      continue
    fi
    [ "$(scdrive enabled "$main" "$E2E_MAIN_REFRESH")" = 1 ] && break
    sleep 0.5
  done
  echo "$asked"
}

# --- First start: the check goes direct, then the user sets the proxy.
e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the start dialog becomes ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_software_view "$start")
e2e_expect "the software view opens" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
e2e_expect "the first check ends" e2e_wait_idle "$main" 120
e2e_expect "without a proxy nothing goes through it" test "$(proxied)" -eq 0

scdrive command "$main" "$PROXY_MENU" >/dev/null
settings=$(e2e_wait_other_dialog "$main" 20)
e2e_expect "menu command 105 opens the proxy settings" \
  bash -c '[ -n "$1" ] && wine "$0/scdrive.exe" text "$1" "$2" >/dev/null 2>&1' "$E2E_BIN" "$settings" "$PROXY_HOST"
[ -n "$settings" ] || { e2e_finish; exit 1; }
e2e_expect "the host box is disabled while no proxy is used" test "$(scdrive enabled "$settings" "$PROXY_HOST")" = 0
scdrive click "$settings" "$PROXY_USE" >/dev/null
e2e_expect "ticking use-proxy enables the host box" test "$(scdrive enabled "$settings" "$PROXY_HOST")" = 1
e2e_expect "OK waits for a host and a port" test "$(scdrive enabled "$settings" 1)" = 0
scdrive type "$settings" "$PROXY_HOST" 127.0.0.1 >/dev/null
scdrive type "$settings" "$PROXY_PORT" "$proxy_port" >/dev/null
e2e_expect "OK is enabled with host and port" test "$(scdrive enabled "$settings" 1)" = 1
e2e_shot proxy-settings "$settings"
served_before=$(served)
scdrive click "$settings" 1 >/dev/null

asked=$(check_through "$main" 120)
e2e_expect "the credentials are asked for once (asked $asked times)" test "$asked" -eq 1
e2e_expect "the check through the proxy ends" e2e_wait_idle "$main" 60
e2e_expect "the list is filled through the proxy" quietly scdrive wait-rows "$main" "$E2E_MAIN_LIST" 1 --timeout 10000
e2e_shot software-view-through-proxy "$main"
proxied_first=$(proxied)
e2e_expect "the proxy passed the check's requests on ($proxied_first)" test "$proxied_first" -gt 0
e2e_expect "the server answered them" test "$(served)" -gt "$served_before"
e2e_expect "the proxy asked for authentication" grep -qi "auth" "$proxy_log"

scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends" e2e_wait_exit "$E2E_PID" 20

# --- Second start: the saved proxy and credentials are used without asking.
served_before=$(served)
e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the second start's start dialog becomes ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_software_view "$start")
e2e_expect "the software view opens again" test -n "$main"
[ -n "$main" ] || { e2e_finish; exit 1; }
asked=$(check_through "$main" 120)
e2e_expect "the credentials are not asked for again (asked $asked times)" test "$asked" -eq 0
e2e_expect "the second check ends" e2e_wait_idle "$main" 60
e2e_expect "the list is filled again" quietly scdrive wait-rows "$main" "$E2E_MAIN_LIST" 1 --timeout 10000
e2e_expect "the second start's requests went through the proxy" test "$(proxied)" -gt "$proxied_first"
e2e_expect "the server answered them" test "$(served)" -gt "$served_before"
scdrive click "$main" 2 >/dev/null
start=$(e2e_start_dialog 30000)
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends after the second start" e2e_wait_exit "$E2E_PID" 20
e2e_expect "the update server never received the proxy's credentials" \
  bash -c '! grep -q "header received]" "$0"' "$services/server.log"
e2e_finish
