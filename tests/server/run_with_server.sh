#!/usr/bin/env bash
# Runs Windows tests of the server exchanges against the real update server and real proxies:
# starts updateserver on 127.0.0.2 (Wine's HTTP stack goes direct for 127.0.0.1, so a proxy would
# never be asked) with the demo catalog, and two tinyproxy instances on 127.0.0.1, one open and one
# asking for Basic credentials; hands their addresses to the tests in the environment, runs the
# test executable through cmake/wine-run.sh and stops everything it started.
# Usage: run_with_server.sh UPDATESERVER CATALOG TEST_EXE PREFIX GTEST_FILTER
set -uo pipefail
server=${1:?usage: $0 UPDATESERVER CATALOG TEST_EXE PREFIX GTEST_FILTER}
catalog=${2:?}
test_exe=${3:?}
export SCUP_WINEPREFIX=${SCUP_WINEPREFIX:-${4:?}}
filter=${5:?}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

source "$root/scripts/lib/services.sh"

work=$(mktemp -d)
cleanup() {
  scup_stop_services
  rm -rf "$work"
}
trap cleanup EXIT

scup_start_updateserver "$server" "$work/server.out" 127.0.0.2 0 --catalog "$catalog" --log "$work/server.log" ||
  exit 1
server_address=$SCUP_UPDATESERVER_ADDRESS
scup_start_tinyproxy "$work" open || exit 1
open_port=$SCUP_TINYPROXY_PORT
scup_start_tinyproxy "$work" auth "BasicAuth office s3cret" || exit 1
auth_port=$SCUP_TINYPROXY_PORT

export SCUP_TEST_SERVER="http://$server_address"
export SCUP_TEST_PROXY_OPEN="127.0.0.1:$open_port"
export SCUP_TEST_PROXY_AUTH="127.0.0.1:$auth_port"
# The requests the authenticating proxy saw, for the tests that count them (a Wine path).
export SCUP_TEST_PROXY_AUTH_LOG="Z:${work//\//\\}\\auth.log"
export WINEDEBUG=-all
bash "$root/cmake/wine-run.sh" "$test_exe" --gtest_filter="$filter"
rc=$?
# Proxy credentials are the proxy's alone: the server logs any credentials that reach it.
if grep -q "header received\]" "$work/server.log"; then
  echo "the update server received credentials:"
  grep "header received\]" "$work/server.log"
  rc=1
fi
if [ $rc -ne 0 ]; then
  echo "--- update server log"; tail -n 40 "$work/server.log"
  echo "--- auth proxy log"; tail -n 20 "$work/auth.log" 2>/dev/null
fi
exit $rc
