# Sourced by the end-to-end scenarios: a clean demo PC (scripts/lib/demo.sh) in a prefix of the
# scenarios' own, the real ScUpdater.exe, and scdrive to use it as a user does. Every expectation
# is one "ok"/"FAIL" line; a failure saves a screenshot and the list of windows next to the log.
#   e2e_begin NAME BUILD [LCID]   clean prefix, display, server and printer; no program yet
#   e2e_start_program [ARGS...]   starts ScUpdater.exe (sets E2E_PID)
#   e2e_expect WHAT COMMAND...    one expectation
#   e2e_finish                    summary line and exit status
# Everything started is stopped on exit, Ctrl-C included. Each scenario runs in a Wine prefix of its
# own, BUILD/e2e-prefixes/NAME, copied afresh from BUILD/e2e-template-prefix, so scenarios run side
# by side; the copy is removed when the scenario passed and kept for a look when it did not.
# SCUP_E2E_PREFIX, when set, is the prefix instead (used as it is, and kept).

e2e_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$e2e_root/scripts/lib/wineenv.sh"
source "$e2e_root/scripts/lib/demo.sh"
source "$e2e_root/scripts/lib/drive.sh"
export LC_ALL=C.UTF-8

readonly E2E_PROP=$SCUP_PROGRAM_PROP
E2E_PASSED=0
E2E_FAILED=0
E2E_FAILURES=()
E2E_PID=""
E2E_EXTRA_PIDS=()

scdrive() { scup_drive "$@"; }
# True when the scdrive call fails (for expectations that something is refused or never comes).
scdrive_fails() { ! scup_drive "$@" >/dev/null; }

# quietly COMMAND...: for an expectation on a command's status alone.
quietly() { "$@" >/dev/null; }

e2e_snapshot() {
  import -window root "$E2E_OUT/$1.png" 2>/dev/null
  scdrive list-windows >"$E2E_OUT/$1.windows.txt" 2>&1
  # CI keeps only the output, so the windows at the failure and the program's last traces go there.
  sed 's/^/#   window: /' "$E2E_OUT/$1.windows.txt"
  local trace
  trace=$(e2e_data_file ScUpdater.trace.txt)
  [ -n "$trace" ] && tail -n 15 "$trace" | tr -d '\r' | sed 's/^/#   trace: /'
  return 0
}

e2e_expect() {
  local what=$1
  shift
  if "$@"; then
    echo "ok - $what"
    E2E_PASSED=$((E2E_PASSED + 1))
  else
    E2E_FAILED=$((E2E_FAILED + 1))
    local shot="failure-$E2E_FAILED"
    e2e_snapshot "$shot"
    echo "FAIL - $what (screen: $E2E_OUT/$shot.png)"
    E2E_FAILURES+=("$what")
  fi
}

# e2e_shot NAME HWND: the window cropped from the screen, for the report.
e2e_shot() { scup_crop_window "$E2E_OUT/$1.png" "$2"; }

e2e_running() { [ -n "$1" ] && kill -0 "$1" 2>/dev/null; }

# e2e_pids PATTERN: the processes of this scenario's prefix whose command line matches PATTERN.
# Other tests run the same program in prefixes of their own at the same time; a Wine process, and
# every process it starts, carries its prefix in its environment.
e2e_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0
}

# e2e_wait_exit PID SECONDS: true when the process ended in time.
e2e_wait_exit() {
  local i
  for i in $(seq 1 $(($2 * 10))); do
    e2e_running "$1" || return 0
    sleep 0.1
  done
  return 1
}

e2e_cleanup() {
  local status=$?
  set +e
  trap - EXIT INT TERM
  local pid
  if e2e_running "$E2E_PID"; then scup_kill_wine_programs; fi
  for pid in "$E2E_PID" "${E2E_EXTRA_PIDS[@]}"; do [ -n "$pid" ] && wait "$pid" 2>/dev/null; done
  scup_end_wine_session 20
  scup_demo_stop
  scup_stop_display
  [ -n "${E2E_PREFIX_COPY:-}" ] && [ "$status" -eq 0 ] && rm -rf "$E2E_PREFIX_COPY"
}

e2e_begin() {
  E2E_NAME=$1
  E2E_BUILD=$(cd "$2" && pwd)
  E2E_BIN=$E2E_BUILD/win/bin
  E2E_OUT=$E2E_BUILD/e2e/$E2E_NAME
  rm -rf "$E2E_OUT"
  mkdir -p "$E2E_OUT"
  SCUP_DRIVE_BIN=$E2E_BIN
  SCUP_DRIVE_LOG=$E2E_OUT/scdrive.log
  trap e2e_cleanup EXIT
  trap 'echo "interrupted"; exit 130' INT TERM
  # A clean demo PC: nothing kept from an earlier scenario. The scenario of the self-upgrade sets
  # an older installed version afterwards.
  local prefix=${SCUP_E2E_PREFIX:-}
  E2E_PREFIX_COPY=""
  if [ -z "$prefix" ]; then
    prefix=$E2E_BUILD/e2e-prefixes/$E2E_NAME
    scup_wine_prefix_copy "$E2E_BUILD/e2e-template-prefix" "$prefix" ||
      { echo "FAIL - no Wine prefix for the scenario"; exit 1; }
    E2E_PREFIX_COPY=$prefix
  fi
  scup_prepare_demo_pc "$E2E_BUILD" "$prefix" "${3:-1033}" || { echo "FAIL - no demo PC"; exit 1; }
  scup_demo_start "$E2E_BUILD" "$E2E_OUT/services" || { echo "FAIL - the demo services did not start"; exit 1; }
}

e2e_remove_applications() { scup_remove_applications; }

e2e_start_program() {
  E2E_START_MARK=$(e2e_activity)
  (cd "$E2E_BIN" && SCUPDATER_TRACE=1 exec wine ScUpdater.exe "$@") &
  E2E_PID=$!
}

# e2e_activity / e2e_wait_activity MARK SECONDS: see scup_demo_activity.
e2e_activity() { scup_demo_activity "$E2E_OUT/services"; }
e2e_wait_activity() { scup_demo_wait_activity "$E2E_OUT/services" "$1" "$2"; }

# e2e_program_window: the first visible window that carries the program's property.
e2e_program_window() { scdrive list-windows | awk '/ prop 1 / { print $1; exit }'; }

e2e_finish() {
  # A long scenario's log may be shown cut in the middle: its failures come again at its end.
  local what
  for what in "${E2E_FAILURES[@]}"; do echo "failed: $what"; done
  grep -h "printed nothing" "$SCUP_DRIVE_LOG" 2>/dev/null | sed 's/^/note - /'
  echo "$E2E_NAME: $E2E_PASSED passed, $E2E_FAILED failed (log and screens: $E2E_OUT)"
  [ "$E2E_FAILED" -eq 0 ]
}

# Control identifiers of the program's windows (scripts/lib/control_ids.sh reads them).
readonly E2E_START_FIRMWARE=$IDC_START_FIRMWARE
readonly E2E_START_SOFTWARE=$IDC_START_SOFTWARE
readonly E2E_PRINTER_LIST=$IDC_PRINTER_LIST
readonly E2E_MAIN_PRINTER=$IDC_UPD_PRINTER
readonly E2E_MAIN_REGION=$IDC_UPD_REGION
readonly E2E_MAIN_REFRESH=$IDC_UPD_REFRESH
readonly E2E_MAIN_LIST=$IDC_UPD_LIST
readonly E2E_MAIN_INSTALL=$IDC_UPD_INSTALL

# e2e_wait_text HWND ID TEXT: the control shows exactly TEXT within 10 s (a window that has just
# opened may still be filled, and a busy one answers late).
e2e_wait_text() {
  local i
  for i in $(seq 1 50); do
    [ "$(scdrive text "$1" "$2" | tr -d '\r')" = "$3" ] && return 0
    sleep 0.2
  done
  return 1
}

# e2e_wait_new_window OLD SECONDS: prints the first enabled program window other than OLD.
e2e_wait_new_window() { scup_wait_new_window "$1" "$2"; }

# e2e_wait_other_dialog OLD SECONDS: prints the first enabled dialog other than OLD.
e2e_wait_other_dialog() { scup_wait_other_dialog "$2" "$1"; }

# e2e_start_dialog [MS]: waits for the start dialog to be ready; prints its handle. The program's
# first exchange after its start (E2E_START_MARK) must have begun: until then the dialog's buttons
# are enabled but about to be taken over. A scenario that has seen the start-up begin otherwise
# (a warning instead of an exchange) empties E2E_START_MARK.
e2e_start_dialog() {
  local timeout=${1:-90000} start
  start=$(scdrive wait --prop "$E2E_PROP" --timeout "$timeout" | cut -d' ' -f1)
  [ -n "$start" ] || return 1
  if [ -n "${E2E_START_MARK:-}" ]; then
    e2e_wait_activity "$E2E_START_MARK" $((timeout / 1000)) || return 1
  fi
  scdrive wait-enabled "$start" "$E2E_START_SOFTWARE" 1 --timeout "$timeout" >/dev/null || return 1
  echo "$start"
}

# e2e_open_firmware_view START: from the start dialog through the printer choice (the first printer)
# to the main dialog in the firmware view; prints the main dialog's handle once its check has begun.
e2e_open_firmware_view() {
  local start=$1 chooser mark
  scdrive click "$start" "$E2E_START_FIRMWARE" >/dev/null || return 1
  chooser=$(e2e_wait_other_dialog "$start" 30) || return 1
  scdrive wait-enabled "$chooser" 1 1 --timeout 10000 >/dev/null || return 1
  mark=$(e2e_activity)
  scdrive click "$chooser" 1 >/dev/null || return 1
  e2e_wait_view "$chooser" "$mark"
}

# e2e_open_software_view START: prints the main dialog's handle in the software view once its
# check has begun.
e2e_open_software_view() {
  local start=$1 mark
  mark=$(e2e_activity)
  scdrive click "$start" "$E2E_START_SOFTWARE" >/dev/null || return 1
  e2e_wait_view "$start" "$mark"
}

# e2e_wait_view OLD MARK: the main dialog that follows OLD, once its first check has begun.
e2e_wait_view() {
  local main
  main=$(e2e_wait_new_window "$1" 30) || return 1
  e2e_wait_activity "$2" 60 || { echo "no check began in $main" >&2; return 1; }
  echo "$main"
}

# e2e_refresh MAIN: the check button, pressed; returns once the new check has begun.
e2e_refresh() {
  local mark
  mark=$(e2e_activity)
  scdrive click "$1" "$E2E_MAIN_REFRESH" >/dev/null || return 1
  e2e_wait_activity "$mark" 60
}

# e2e_wait_confirmation MAIN SECONDS: prints the transfer's confirmation (the dialog with Start)
# once it can be answered; the download's status window comes and goes before it.
# The status window is a dialog too and is found at once, so the wait is bounded by the clock, not
# by a count of looks (which a long download outlasts).
e2e_wait_confirmation() {
  local deadline=$((SECONDS + $2)) window
  while [ "$SECONDS" -lt "$deadline" ]; do
    window=$(e2e_wait_other_dialog "$1" 1) &&
      [ "$(scdrive enabled "$window" 1 2>/dev/null | tr -d '\r')" = 1 ] && { echo "$window"; return 0; }
    sleep 0.2
  done
  return 1
}

# e2e_wait_idle MAIN SECONDS: the check or installation has ended.
e2e_wait_idle() { scup_wait_idle "$1" "$2"; }

# e2e_wait_check MAIN SECONDS MARK: a check begun after e2e_activity gave MARK has ended.
e2e_wait_check() { e2e_wait_activity "$3" "$2" && e2e_wait_idle "$1" "$2"; }

readonly E2E_HISTORY_LIST=$IDC_HISTORY_LIST
readonly E2E_MENU_HISTORY=$ID_UPD_HISTORY

# e2e_rows HWND ID: the rows of a list, one a line ([x] or [ ], then the cells, tab-separated).
e2e_rows() { scup_rows "$1" "$2"; }

# e2e_open_history MAIN: opens the history dialog from the main dialog's menu; prints its handle.
e2e_open_history() { scup_open_history "$1"; }

# e2e_data_file NAME: a file of the program's data folder (the history "ScUpdater.log", the
# downloads below "DownloadedFiles"), found by name in the scenarios' prefix.
e2e_data_file() {
  find "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Corvane -name "$1" 2>/dev/null | head -1
}

# e2e_wait_file PATTERN SECONDS: a file of the data folder appears; prints its path.
e2e_wait_file() {
  local i found
  for i in $(seq 1 $(($2 * 2))); do
    found=$(e2e_data_file "$1")
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.5
  done
  return 1
}

# e2e_server_control METHOD PATH: a control request to the demo update server (its fault switches,
# its counts); prints the answer's body, false unless it answered 200.
e2e_server_control() {
  local hostport=$SCUP_DEMO_INSTANCE answer
  exec 3<>"/dev/tcp/${hostport%:*}/${hostport##*:}" || return 1
  printf '%s %s HTTP/1.0\r\nHost: %s\r\nContent-Length: 0\r\n\r\n' "$1" "$2" "$hostport" >&3
  answer=$(cat <&3)
  exec 3<&- 3>&-
  [[ "$answer" == HTTP/1.?" 200"* ]] || return 1
  printf '%s\n' "${answer#*$'\r\n\r\n'}"
}

# e2e_exchanges: how many exchanges the server has been asked, answered or not.
e2e_exchanges() {
  e2e_server_control GET /_control/stats | awk '$1 ~ /^(versioncheck|notice|fileupdate)$/ { n += $2 } END { print n + 0 }'
}

# e2e_wait_exchanges MORE_THAN SECONDS: the server has been asked more than MORE_THAN exchanges.
e2e_wait_exchanges() {
  local i
  for i in $(seq 1 $(($2 * 10))); do
    [ "$(e2e_exchanges)" -gt "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# e2e_run_unattended NAME ARGS...: ScUpdater (RUN_EXE, from RUN_DIR: the build's by default) with the
# arguments and "-REPORT NAME.json" until it ends (at most 4 minutes); leaves its exit code in
# RUN_EXIT, the report's path in REPORT, and in SAW_WINDOW the first dialog or message box seen on the
# screen while it ran (empty when none came up). A scenario may name a function in
# E2E_UNATTENDED_WATCH, called at each look while the program runs, and one in E2E_UNATTENDED_SHOW,
# which tells what the run came to in place of the report's first lines.
e2e_run_unattended() {
  local name=$1 dir=${RUN_DIR:-$E2E_BIN} pid deadline window
  shift
  REPORT=$E2E_OUT/$name.json
  rm -f "$REPORT"
  SAW_WINDOW=""
  (cd "$dir" && SCUPDATER_TRACE=1 exec wine "${RUN_EXE:-ScUpdater.exe}" "$@" \
    -REPORT "$(winepath -w "$REPORT" 2>/dev/null)") >"$E2E_OUT/$name.out" 2>&1 &
  pid=$!
  deadline=$((SECONDS + 240))
  while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
    [ -n "${E2E_UNATTENDED_WATCH:-}" ] && "$E2E_UNATTENDED_WATCH"
    window=$(scdrive list-windows | tr -d '\r' | awk '/class "#32770"/ { print; exit }')
    [ -n "$window" ] && [ -z "$SAW_WINDOW" ] && SAW_WINDOW=$window
    sleep 0.2
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "$name: still running after 4 minutes; ended"
    scup_kill_wine_programs
  fi
  wait "$pid"
  RUN_EXIT=$?
  echo "$name: exit $RUN_EXIT"
  [ -n "$SAW_WINDOW" ] && echo "$name: a window came up: $SAW_WINDOW"
  if [ -n "${E2E_UNATTENDED_SHOW:-}" ]; then
    "$E2E_UNATTENDED_SHOW"
  else
    sed 's/^/  /' "$REPORT" 2>/dev/null | head -80
  fi
}
