#!/usr/bin/env bash
# Many PCs against the update service, by hand (not part of ctest). Runs tools/loadgen against:
#   direct   one updateserver, no nginx
#   nginx-1  nginx (deploy/nginx.conf.in, plain http listener) in front of one instance
#   nginx-2  the same with two instances
#   ceiling  nginx answering the exchanges with saved answers from static files
# on a generated catalog of 40 entries, and prints requests/s, latencies, failed checks and peak
# memory, each also as a ratio to the ceiling of the same run.
# Usage: load_bench.sh [BUILD_DIR]   (default build/native of the repository)
# Environment: CLIENTS (default 1000), FEW_CLIENTS (default 250, the second client count for the
# memory figures), CHECKS per client (default 1), WORKERS (nginx worker_processes, default auto),
# THREADS (updateserver --threads, default its own), MODES (a subset of the modes, the ceiling last).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
bin=$build/bin
clients=${CLIENTS:-1000}
few=${FEW_CLIENTS:-250}
checks=${CHECKS:-1}
work=$(mktemp -d /tmp/load-bench-XXXXXX)
source "$root/scripts/lib/services.sh"
source "$here/catalog40.sh"
trap 'scup_stop_services; rm -rf "$work"' EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The benchmark's catalog of 40 entries, unsigned.
make_catalog() {
  scup_write_catalog40 "$work/catalog-src" "$root" 1.4.0 1.4 ENU_ALL ENG_ALL JPN_ALL ARA_ALL
  "$bin/mkcatalog" --source "$work/catalog-src" --out "$work/catalog" --unsigned >/dev/null
}

start_instance() { # NAME: starts an updateserver on a free port; sets port and pid
  scup_start_updateserver "$bin/updateserver" "$work/$1.out" 127.0.0.1 0 --catalog "$work/catalog" --no-control \
    --log "$work/$1.log" ${THREADS:+--threads $THREADS}
  pid=$SCUP_SERVICE_PID
  port=${SCUP_UPDATESERVER_ADDRESS##*:}
}

start_nginx() { # CONF: starts nginx on the configuration; sets nginx_pids (master and workers)
  nginx -c "$1" -p "$work/run" -g 'daemon off;' >"$work/nginx.out" 2>&1 &
  local master=$!
  scup_keep_service "$master"
  scup_wait_for_port 127.0.0.1 "$nginx_port" "$master" || { echo "nginx did not start:" >&2; cat "$work/nginx.out" >&2; return 1; }
  nginx_pids=("$master" $(pgrep -P "$master"))
}

render_deploy() { # UPSTREAM...: the deployed configuration with a plain listener for the generator
  nginx_port=$(free_port)
  rm -rf "$work/run"
  PLAIN_LISTEN=127.0.0.1:$nginx_port bash "$root/tools/updateserver/deploy/render-nginx-conf.sh" \
    "$work/nginx.conf" "$work/run" "127.0.0.1:$(free_port)" "$build/test-ca/server.pem" \
    "$build/test-ca/server.key" "$work/catalog" "$@"
}

render_ceiling() {
  nginx_port=$(free_port)
  rm -rf "$work/run"
  mkdir -p "$work/run"
  local user=""
  [ "$(id -u)" -eq 0 ] && user="user root;"
  sed -e "s#@USER@#$user#" -e "s#@WORKERS@#${WORKERS:-auto}#" -e "s#@RUN@#$work/run#" \
    -e "s#@LISTEN@#127.0.0.1:$nginx_port#" -e "s#@CATALOG@#$work/catalog#" -e "s#@ANSWERS@#$work/answers#" \
    "$here/static-answers.conf.in" >"$work/static.conf"
}

load() { # MODE CLIENTS PORT PID...: runs the generator, keeps its figures in $work/MODE-CLIENTS.txt
  local mode=$1 n=$2 target=$3 watch=() p
  shift 3
  for p in "$@"; do watch+=(--watch-pid "$p"); done
  "$bin/loadgen" --catalog "$work/catalog" --port "$target" --clients "$n" --checks "$checks" "${watch[@]}" \
    >"$work/$mode-$n.txt" || true
}

run_mode() { # MODE CLIENTS
  local mode=$1 n=$2
  case $mode in
    direct)
      start_instance a
      load "$mode" "$n" "$port" "$pid" ;;
    nginx-1)
      start_instance a
      local pids=("$pid")
      render_deploy "127.0.0.1:$port"
      start_nginx "$work/nginx.conf"
      load "$mode" "$n" "$nginx_port" "${pids[@]}" "${nginx_pids[@]}" ;;
    nginx-2)
      start_instance a
      local pids=("$pid") ports=("127.0.0.1:$port")
      start_instance b
      pids+=("$pid") ports+=("127.0.0.1:$port")
      render_deploy "${ports[@]}"
      start_nginx "$work/nginx.conf"
      load "$mode" "$n" "$nginx_port" "${pids[@]}" "${nginx_pids[@]}" ;;
    ceiling)
      render_ceiling
      start_nginx "$work/static.conf"
      load "$mode" "$n" "$nginx_port" "${nginx_pids[@]}" ;;
  esac
  scup_stop_services
}

figure() { sed -n "s/^$2 //p" "$work/$1.txt" | head -1; }

make_catalog
# The ceiling's answers: each distinct answer of the exchanges, saved once from a real server.
start_instance save
"$bin/loadgen" --catalog "$work/catalog" --port "$port" --clients 8 --save-answers "$work/answers" >/dev/null
scup_stop_services

modes=(${MODES:-direct nginx-1 nginx-2 ceiling})
for mode in "${modes[@]}"; do
  run_mode "$mode" "$clients"
  run_mode "$mode" "$few"
done

echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1); load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "catalog: 40 entries; each check: 1 version check, 14 file updates, 14 description packages, 1 package"
echo "clients: $clients (memory also at $few), $checks check(s) each; the ratio column is to the ceiling"
ratio() { echo "$1 / $2" | bc -l; }
printf '%-8s %7s %8s %6s %8s %6s %8s %6s %6s %9s %6s %12s\n' mode clients "req/s" ratio "p50 ms" ratio \
  "p99 ms" ratio failed "peak KiB" ratio "KiB@$few"
ceil=ceiling-$clients
for mode in "${modes[@]}"; do
  m=$mode-$clients
  printf '%-8s %7s %8s %6.2f %8s %6.2f %8s %6.2f %6s %9s %6.2f %12s\n' "$mode" "$clients" \
    "$(figure "$m" requests_per_second)" "$(ratio "$(figure "$m" requests_per_second)" "$(figure "$ceil" requests_per_second)")" \
    "$(figure "$m" p50_ms)" "$(ratio "$(figure "$m" p50_ms)" "$(figure "$ceil" p50_ms)")" \
    "$(figure "$m" p99_ms)" "$(ratio "$(figure "$m" p99_ms)" "$(figure "$ceil" p99_ms)")" \
    "$(figure "$m" failed_checks)" \
    "$(figure "$m" peak_memory_kb)" "$(ratio "$(figure "$m" peak_memory_kb)" "$(figure "$ceil" peak_memory_kb)")" \
    "$(figure "$mode-$few" peak_memory_kb)"
done
for mode in "${modes[@]}"; do
  # A mode without failures has none to show: that is no failure of this script.
  { grep -h '^failure' "$work/$mode-$clients.txt" "$work/$mode-$few.txt" || true; } | head -3 | sed "s/^/$mode: /"
done
