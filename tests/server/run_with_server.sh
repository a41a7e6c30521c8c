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

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  # The proxies are started in command substitutions, which cannot add to pids: they leave their
  # process ids in files instead.
  pids+=($(cat "$work"/*.started 2>/dev/null))
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

[ -x "$server" ] || { echo "updateserver not found at $server: build the native tools first" >&2; exit 1; }
command -v tinyproxy >/dev/null || { echo "tinyproxy is not installed (scripts/setup.sh)" >&2; exit 1; }

"$server" --catalog "$catalog" --bind 127.0.0.2 --port 0 --log "$work/server.log" >"$work/server.out" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do grep -q "listening on" "$work/server.out" && break; sleep 0.1; done
server_address=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$work/server.out" | head -1)
[ -n "$server_address" ] || { echo "updateserver did not start:" >&2; cat "$work/server.out" >&2; exit 1; }

# start_proxy NAME [BasicAuth line]: a tinyproxy on a free loopback port; prints the port.
start_proxy() {
  local name=$1 auth=${2:-} port
  for _ in $(seq 1 20); do
    port=$((20000 + RANDOM % 30000))
    cat >"$work/$name.conf" <<CONF
Port $port
Listen 127.0.0.1
Timeout 60
MaxClients 20
LogLevel Info
LogFile "$work/$name.log"
PidFile "$work/$name.pid"
$auth
CONF
    tinyproxy -d -c "$work/$name.conf" >"$work/$name.out" 2>&1 &
    local pid=$!
    sleep 0.3
    if kill -0 "$pid" 2>/dev/null; then
      echo "$pid" >"$work/$name.started"
      echo "$port"
      return 0
    fi
  done
  return 1
}
open_port=$(start_proxy open) || { echo "tinyproxy did not start" >&2; exit 1; }
auth_port=$(start_proxy auth "BasicAuth office s3cret") || { echo "tinyproxy did not start" >&2; exit 1; }

export SCUP_TEST_SERVER="http://$server_address"
export SCUP_TEST_PROXY_OPEN="127.0.0.1:$open_port"
export SCUP_TEST_PROXY_AUTH="127.0.0.1:$auth_port"
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
