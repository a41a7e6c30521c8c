# Sourced by every script that starts one of the native services the tests, the benchmarks and the
# demo use: the update server, tinyproxy and the printer simulator. Each start waits until its
# service is ready (a line it prints, or its port taking connections; never a fixed time), keeps
# the process in SCUP_SERVICE_PIDS and its id in SCUP_SERVICE_PID, and tells what the caller needs
# in a variable. scup_stop_services stops every one still running.
#   scup_start_updateserver BIN OUT ADDRESS PORT [OPTIONS...]   SCUP_UPDATESERVER_ADDRESS=address:port
#   scup_start_tinyproxy WORK NAME [CONFIG LINE...]             SCUP_TINYPROXY_PORT (on 127.0.0.1)
#   scup_start_printersim BIN OUT [OPTIONS...]
#   scup_stop_service PID                                       the service's own exit status
#   scup_stop_services

[ -n "${SCUP_SERVICES_READ:-}" ] && return 0
readonly SCUP_SERVICES_READ=1
SCUP_SERVICE_PIDS=()
SCUP_SERVICE_PID=""
# How long a service may take to come up on a loaded machine before it counts as failed.
readonly SCUP_SERVICE_START_SECONDS=30

# scup_wait_for_line FILE PATTERN [PID]: true once FILE has a line matching PATTERN; false when PID
# ends first or the time is up.
scup_wait_for_line() {
  local file=$1 pattern=$2 pid=${3:-} i
  for i in $(seq 1 $((SCUP_SERVICE_START_SECONDS * 20))); do
    grep -q "$pattern" "$file" 2>/dev/null && return 0
    [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null && break
    sleep 0.05
  done
  grep -q "$pattern" "$file" 2>/dev/null
}

# scup_port_open ADDRESS PORT: true when something takes connections there.
scup_port_open() { (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; }

# scup_wait_for_port ADDRESS PORT [PID]: as scup_wait_for_line, for a port taking connections.
scup_wait_for_port() {
  local address=$1 port=$2 pid=${3:-} i
  for i in $(seq 1 $((SCUP_SERVICE_START_SECONDS * 20))); do
    scup_port_open "$address" "$port" && return 0
    [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null && return 1
    sleep 0.05
  done
  return 1
}

# scup_free_port ADDRESS: a port nothing listens on at ADDRESS.
scup_free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    scup_port_open "$1" "$port" || { echo "$port"; return 0; }
  done
}

scup_keep_service() {
  SCUP_SERVICE_PID=$1
  SCUP_SERVICE_PIDS+=("$1")
}

scup_start_updateserver() {
  local bin=$1 out=$2 address=$3 port=$4
  shift 4
  [ -x "$bin" ] || { echo "updateserver not found at $bin: build the native tools first" >&2; return 1; }
  : >"$out"
  "$bin" --bind "$address" --port "$port" "$@" >"$out" 2>&1 &
  scup_keep_service $!
  if ! scup_wait_for_line "$out" "listening on" "$SCUP_SERVICE_PID"; then
    echo "the update server did not start:" >&2
    cat "$out" >&2
    return 1
  fi
  SCUP_UPDATESERVER_ADDRESS=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$out" | head -1)
}

# The configuration lines after NAME (a BasicAuth line, say) are added to the proxy's own. Its log
# is WORK/NAME.log.
scup_start_tinyproxy() {
  local work=$1 name=$2 port pid line attempt
  shift 2
  command -v tinyproxy >/dev/null || { echo "tinyproxy is not installed (scripts/setup.sh)" >&2; return 1; }
  # Another process may take the free port before the proxy does: then the proxy ends, and the
  # next attempt takes another port.
  for attempt in $(seq 1 20); do
    port=$(scup_free_port 127.0.0.1)
    {
      printf 'Port %s\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nLogLevel Info\n' "$port"
      printf 'LogFile "%s"\nPidFile "%s"\n' "$work/$name.log" "$work/$name.pid"
      for line in "$@"; do echo "$line"; done
    } >"$work/$name.conf"
    tinyproxy -d -c "$work/$name.conf" >"$work/$name.out" 2>&1 &
    pid=$!
    # Something else answering on the port does not count: the proxy must still run.
    if scup_wait_for_port 127.0.0.1 "$port" "$pid" && kill -0 "$pid" 2>/dev/null; then
      scup_keep_service "$pid"
      SCUP_TINYPROXY_PORT=$port
      return 0
    fi
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "tinyproxy did not start:" >&2
  cat "$work/$name.out" >&2
  return 1
}

scup_start_printersim() {
  local bin=$1 out=$2
  shift 2
  [ -x "$bin" ] || { echo "printersim not found at $bin: build the native tools first" >&2; return 1; }
  : >"$out"
  "$bin" "$@" >"$out" 2>&1 &
  scup_keep_service $!
  if ! scup_wait_for_line "$out" '^printersim: .* -> /dev/pts/' "$SCUP_SERVICE_PID"; then
    echo "the printer simulator did not start:" >&2
    cat "$out" >&2
    return 1
  fi
}

# Gives the service's exit status; a service that ignores SIGTERM for 5 s is killed (status 137).
scup_stop_service() {
  local pid=$1 i kept=() other
  for other in "${SCUP_SERVICE_PIDS[@]}"; do [ "$other" = "$pid" ] || kept+=("$other"); done
  SCUP_SERVICE_PIDS=("${kept[@]}")
  if ! kill -TERM "$pid" 2>/dev/null; then
    local ended=0
    wait "$pid" 2>/dev/null || ended=$?
    return $ended
  fi
  for i in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "process $pid did not stop on SIGTERM" >&2
    kill -KILL "$pid" 2>/dev/null || true
  fi
  local status=0
  wait "$pid" 2>/dev/null || status=$?
  return $status
}

scup_stop_services() {
  local pid
  for pid in "${SCUP_SERVICE_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${SCUP_SERVICE_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  SCUP_SERVICE_PIDS=()
  return 0
}
