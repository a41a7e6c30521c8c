#!/usr/bin/env bash
# The self-upgrade from outside: the program installed in its own folder at a version older than
# the server's updater asks whether to upgrade; on OK it ends, the new version installs itself into
# the same folder and starts from there, records the new "PackageVersion" and does not ask again.
# Usage: self_upgrade.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin self_upgrade "${1:?usage: $0 BUILD_DIR}"
readonly QUESTION_HEADING=$IDC_SELF_UPDATE_HEADING
readonly SETTINGS_KEY='HKLM\Software\Corvane Industries, Ltd.\ScUpdater\Settings'
offered=$(scup_demo_catalog_updater_version "$E2E_BUILD")
installed_dir="$WINEPREFIX/drive_c/Program Files/Corvane/ScUpdater"
readonly PROGRAM_FILES=(ScUpdater.exe ScUpRes.dll scfilo.dll unzip32.dll)

# The upgrade writes into the folder the program runs from: that is never the build's own.
rm -rf "$installed_dir"
mkdir -p "$installed_dir"
for file in "${PROGRAM_FILES[@]}"; do cp "$E2E_BIN/$file" "$installed_dir/" || { echo "FAIL - $file is not built"; exit 1; }; done
# The program itself is the release before, which says 0.9.0 in its version as the PC records it.
cp "$E2E_BIN/previous/ScUpdater.exe" "$installed_dir/" || { echo "FAIL - the previous release is not built"; exit 1; }
# Dated in the past, so that the files the upgrade writes can be told from those copied here.
touch -d '2020-01-01 00:00' "$installed_dir"/*
build_sum=$(md5sum "$E2E_BIN/ScUpdater.exe" "$E2E_BIN/ScUpRes.dll")
scup_demo_set_installed_version 0.9.0
e2e_expect "the server offers a newer updater ($offered)" bash -c '[ -n "$0" ] && [ "$0" != 0.9.0 ]' "$offered"

# self_update_question SECONDS: prints the self-update question once it shows.
self_update_question() {
  local i hwnd
  for i in $(seq 1 $(($1 * 2))); do
    for hwnd in $(scdrive list-windows | awk '/class "#32770"/ && / enabled 1 / { print $1 }'); do
      scdrive text "$hwnd" "$QUESTION_HEADING" >/dev/null 2>&1 && { echo "$hwnd"; return 0; }
    done
    sleep 0.5
  done
  return 1
}
# installed_pids: the processes of the program that run from the installed folder.
installed_pids() { e2e_pids 'Program Files.Corvane.ScUpdater.ScUpdater\.exe'; }
installed_runs() { [ -n "$(installed_pids)" ]; }
installed_ended() { [ -z "$(installed_pids)" ]; }
package_version() {
  wine reg query "$SETTINGS_KEY" /v PackageVersion 2>/dev/null | tr -d '\r' | awk '/PackageVersion/ { print $NF }'
}
wait_for() {
  local seconds=$1 i
  shift
  for i in $(seq 1 $((seconds * 2))); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}
no_question() { ! self_update_question "$1" >/dev/null; }
new_process_runs() {
  local pid
  for pid in $(installed_pids); do [ "$pid" != "$old_pid" ] && return 0; done
  return 1
}

# Started by its full path, as a shortcut does: the process's command line names the folder.
(cd "$installed_dir" && exec wine 'C:\Program Files\Corvane\ScUpdater\ScUpdater.exe') &
E2E_PID=$!
e2e_expect "the installed program runs from its folder" wait_for 30 installed_runs
old_pid=$(installed_pids | head -1)
question=$(self_update_question 90)
e2e_expect "the self-update question (template 1350) shows" test -n "$question"
[ -n "$question" ] || { e2e_finish; exit 1; }
e2e_shot self-update-question "$question"
scdrive click "$question" 1 >/dev/null

e2e_expect "the old process ends" wait_for 90 bash -c '! kill -0 "$0" 2>/dev/null' "$old_pid"
e2e_expect "a new process runs from the installed folder" wait_for 90 new_process_runs
start=$(e2e_start_dialog 90000)
e2e_expect "the new process's start dialog becomes ready" test -n "$start"
e2e_expect "the installed version is now the server's" test "$(package_version)" = "$offered"
e2e_expect "the upgrade wrote the program's files anew" \
  bash -c 'for f in ScUpdater.exe ScUpRes.dll; do [ -n "$(find "$0/$f" -newermt "2021-01-01")" ] || exit 1; done' "$installed_dir"
e2e_expect "the installed program is no longer the release before" \
  bash -c '! cmp -s "$0" "$1"' "$installed_dir/ScUpdater.exe" "$E2E_BIN/previous/ScUpdater.exe"
e2e_expect "the build's own files were left alone" test "$(md5sum "$E2E_BIN/ScUpdater.exe" "$E2E_BIN/ScUpRes.dll")" = "$build_sum"
e2e_expect "the new version asks no question again" no_question 8
[ -n "$start" ] && e2e_shot start-after-upgrade "$start"
e2e_expect "only the new process runs" test "$(installed_pids | wc -l)" -eq 1

[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the new process ends after Close" wait_for 20 installed_ended
e2e_finish
