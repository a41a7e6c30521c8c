#!/usr/bin/env bash
# A check over a slow line, by hand (not part of ctest): the update server on a generated catalog of
# 40 entries, tools/slowline in front of it delaying every byte each way, and the real ScUpdater.exe
# under Wine pointed at the relay, with the demo PC's applications and its printer (the printer
# simulator on COM5). One unattended -CHECK does both checks the program makes: (a) the software
# check of the PC's applications, (b) the firmware check of its one printer. For each it prints the
# time taken, the requests the server was asked and the connections the program opened, beside
# the protocol's minimum: the round trips that must follow one another (each request that waits on
# an answer before it, and the handshake of each connection that must be opened) times the round
# trip (twice the delay), and the ratio of the two.
# Usage: tests/bench/slowline_bench.sh [DELAY_MS...]   (default: 100 0 100n; builds nothing)
#   A delay ending in "n" plays the program's own stack as one without TCP_NODELAY (slowline
#   --client-nagle): the relay's kernel acknowledges at once, so on the plain rows a stack that
#   holds a request's body until its headers are acknowledged loses nothing, as it would on a line.
# Environment: RUNS (runs at each delay, default 3; the median is printed), SCUP_BUILD_DIR.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${SCUP_BUILD_DIR:-$root/build}" && pwd)
runs=${RUNS:-3}
delays=("${@:-100}")
[ $# -eq 0 ] && delays=(100 0 100n)
for bin in "$build/native/bin/updateserver" "$build/native/bin/slowline" "$build/native/bin/mkcatalog" \
  "$build/native/bin/printersim" "$build/win/bin/ScUpdater.exe"; do
  [ -e "$bin" ] || { echo "build first (scripts/build.sh): $bin is missing" >&2; exit 1; }
done
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/demo.sh"
source "$root/scripts/lib/drive.sh"
source "$root/tools/updateserver/bench/catalog40.sh"
export LC_ALL=C.UTF-8

work=$(mktemp -d /tmp/slowline-bench-XXXXXX)
cleanup() {
  set +e
  trap - EXIT INT TERM
  [ -n "${WINEPREFIX:-}" ] && scup_end_wine_session 20
  scup_stop_services
  scup_stop_display
  [ -n "${KEEP:-}" ] && echo "kept: $work" || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The load benchmark's catalog of 40 entries, with the regions the demo PC asks for (its printer's
# firmware is ALL_ALL), signed with the build's maker key.
make_catalog() {
  local updater
  updater=$(scup_demo_catalog_updater_version "$build")
  scup_write_catalog40 "$work/catalog-src" "$root" "$updater" "$updater" ALL_ALL ENU_ALL ENG_ALL JPN_ALL
  "$build/native/bin/mkcatalog" --source "$work/catalog-src" --out "$work/catalog" \
    --key "$build/signing-keys/maker1.key" --valid-days 30 >/dev/null
}

# start_line DELAY_MS: the update server and the relay in front of it; the program's addresses point
# at the relay, and so do the file addresses the server gives (taken from the request's Host).
start_line() {
  local delay=${1%n} port nagle=()
  [ "$delay" != "$1" ] && nagle=(--client-nagle)
  stop_line
  : >"$work/server.log"
  scup_start_updateserver "$build/native/bin/updateserver" "$work/server.out" 127.0.0.1 0 \
    --catalog "$work/catalog" --log "$work/server.log" --no-control
  server_pid=$SCUP_SERVICE_PID
  line_out=$work/slowline-$1.out
  "$build/native/bin/slowline" --listen 127.0.0.1:0 --target "$SCUP_UPDATESERVER_ADDRESS" \
    --delay-ms "$delay" "${nagle[@]}" --stats "$work/line.txt" >"$line_out" 2>&1 &
  scup_keep_service $!
  line_pid=$SCUP_SERVICE_PID
  scup_wait_for_line "$line_out" "listening on" "$line_pid" || { cat "$line_out" >&2; return 1; }
  port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\) .*/\1/p' "$line_out")
  scup_import_reg bench-server <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Corvane Industries, Ltd.\\ScUpdater\\Settings]
"VersionCheckURL"="http://127.0.0.1:$port/scupdater/versioncheck"
"NoticeURL"="http://127.0.0.1:$port/scupdater/notice"
"FileUpdateURL"="http://127.0.0.1:$port/scupdater/fileupdate"
REG
}

server_pid="" line_pid=""
# Stops the server and the relay (the printer stays).
stop_line() {
  local pid
  for pid in $line_pid $server_pid; do scup_stop_service "$pid" || true; done
  line_pid="" server_pid=""
}

connections() { awk '$1 == "connections" { print $2 }' "$work/line.txt"; }
requests() { wc -l <"$work/server.log"; }
now_ms() { date +%s%3N; }

# check_once NAME: one unattended -CHECK; leaves its trace in NAME.trace.txt, its report in NAME.json.
check_once() {
  local name=$1 trace started status=0
  trace=$(find "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Corvane -name ScUpdater.trace.txt 2>/dev/null | head -1)
  [ -n "$trace" ] && rm -f "$trace"
  run_connections0=$(connections)
  run_requests0=$(requests)
  started=$(now_ms)
  (cd "$build/win/bin" && SCUPDATER_TRACE=1 exec wine ScUpdater.exe -CHECK \
    -REPORT "$(winepath -w "$work/$name.json" 2>/dev/null)") >"$work/$name.out" 2>&1 || status=$?
  run_ms=$(($(now_ms) - started))
  run_status=$status
  # The relay counts a connection once it has ended; the program's last ones end with it.
  local i
  for i in $(seq 1 100); do
    [ "$(awk '$1 == "open" { print $2 }' "$work/line.txt")" = 0 ] && break
    sleep 0.1
  done
  run_connections=$(($(connections) - run_connections0))
  run_requests=$(($(requests) - run_requests0))
  trace=$(find "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Corvane -name ScUpdater.trace.txt 2>/dev/null | head -1)
  cp "$trace" "$work/$name.trace.txt" 2>/dev/null || true
  cp "$work/server.log" "$work/$name.server.log"
}

# figures NAME DELAY: one line per check of the run NAME, from its trace (where each check ends), the
# server's log of requests and the relay's count of connections:
#   CHECK DELAY MS REQUESTS CONNECTIONS NEEDED CHAIN
# NEEDED: the requests the protocol needs (no probe, each version check query once); CHAIN: the
# round trips that must follow one another (a connection's handshake where the check must open one,
# one version check round, then the file update, the statement and the description package of an
# entry), each entry's exchanges being independent of the other entries'.
figures() {
  python3 - "$work/$1.trace.txt" "$work/$1.server.log" "$2" "$run_requests0" "$run_ms" <<'PY'
import re, sys
from datetime import datetime
trace, log, delay, skip, total_ms = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
def stamp(line):
    return datetime.strptime(line[:23], "%Y-%m-%d %H:%M:%S.%f")
lines = open(trace, encoding="utf-8", errors="replace").read().splitlines()
start = next(stamp(l) for l in lines if "Enter : CUnattendedRun::Run()" in l)
ends = [stamp(l) for l in lines if "Exit : CAUFileUpdater::GetUpdates()" in l]
if len(ends) != 2:
    sys.exit("the run made %d checks, not the software and the firmware check" % len(ends))
requests = [r for r in open(log).read().splitlines()[skip:] if re.search(r" (GET|POST) ", r)]
parts = [("software", start, ends[0], True), ("firmware", ends[0], ends[1], False)]
for name, begin, end, opens in parts:
    asked = [r for r in requests if begin <= stamp(r) < end]
    peers = {r.split()[2] for r in asked}
    needed, seen, entries = 0, set(), 0
    for r in asked:
        if "connection probe" in r:
            continue
        if "/versioncheck" in r:
            key = re.search(r'Name="[^"]*" Spec="[^"]*"', r).group(0)
            if key in seen:
                continue
            seen.add(key)
        if "/fileupdate" in r:
            entries += 1
        needed += 1
    chain = (1 if opens else 0) + (1 if seen else 0) + (3 if entries else 0)
    ms = (end - begin).total_seconds() * 1000
    print(name, delay, int(ms), len(asked), len(peers), needed + (1 if opens else 0), chain)
PY
}

runs_at() { # DELAY: RUNS runs of -CHECK; their figures go to $work/figures-DELAY.txt
  local delay=$1 run
  start_line "$delay" || exit 1
  : >"$work/figures-$delay.txt"
  for run in $(seq 1 "$runs"); do
    check_once "run-$delay-$run"
    [ "$run_status" -eq 0 ] || { echo "the check at $delay ms failed ($run_status):" >&2; sed 's/^/  /' "$work/run-$delay-$run.json" >&2; exit 1; }
    figures "run-$delay-$run" "$delay" >>"$work/figures-$delay.txt" || exit 1
    echo "  $delay ms, run $run: whole run $run_ms ms, $run_requests requests, $run_connections connection(s)"
  done
}

# median CHECK DELAY COLUMN
median() {
  awk -v c="$1" -v k="$3" '$1 == c { print $k }' "$work/figures-$2.txt" | sort -g |
    awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); print NR % 2 ? v[m] : int((v[m] + v[m + 1]) / 2) }'
}

make_catalog || { echo "the catalog could not be made" >&2; exit 1; }
prefix=$build/bench-prefixes/slowline
scup_prepare_demo_pc "$build" "$prefix" 1033 || exit 1
scup_demo_start_printer "$build" "$work" || exit 1
scup_demo_install_applications "$build" "$work" || exit 1
echo "$runs runs of -CHECK at each delay (one way): ${delays[*]} ms ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
for delay in "${delays[@]}"; do runs_at "$delay"; done

echo
echo "medians; rt = the round trip (twice the delay); minimum = the round trips that must follow one"
echo "another times rt; serial = the requests the protocol needs, one after another on one connection"
echo "(with its handshake) times rt; own = the time at 0 ms (the program's own, where measured)"
printf '%-9s %6s %8s %8s %6s %7s %8s %6s %8s %6s %8s %6s\n' check delay "ms" requests conns needed \
  "min ms" ratio "serial" ratio "ms-own" ratio
for check in software firmware; do
  own=""
  for delay in "${delays[@]}"; do [ "$delay" = 0 ] && own=$(median "$check" 0 3); done
  for delay in "${delays[@]}"; do
    ms=$(median "$check" "$delay" 3)
    rt=$((2 * ${delay%n}))
    minimum=$(($(median "$check" "$delay" 7) * rt))
    serial=$(($(median "$check" "$delay" 6) * rt))
    ratio() { [ "$2" -gt 0 ] && awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }' || echo -; }
    net=-
    [ -n "$own" ] && net=$((ms - own))
    printf '%-9s %6s %8s %8s %6s %7s %8s %6s %8s %6s %8s %6s\n' "$check" "$delay" "$ms" \
      "$(median "$check" "$delay" 4)" "$(median "$check" "$delay" 5)" "$(median "$check" "$delay" 6)" \
      "$minimum" "$(ratio "$ms" "$minimum")" "$serial" "$(ratio "$ms" "$serial")" "$net" \
      "$( [ "$net" = - ] && echo - || ratio "$net" "$minimum")"
  done
done
