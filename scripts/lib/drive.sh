# Sourced by the scripts that use the program as a user does (the demo walk, the end-to-end
# scenarios): a demo PC prepared in a Wine prefix, and the looks and waits on the program's windows
# through scdrive. Needs scripts/lib/wineenv.sh and scripts/lib/demo.sh sourced first, and
# SCUP_DRIVE_BIN set to the folder of scdrive.exe (SCUP_DRIVE_LOG, when set, keeps scdrive's own
# messages).
#   scup_prepare_demo_pc BUILD PREFIX LCID   display, clean prefix, language, installed updater
#   scup_drive ARGS...                       scdrive
#   scup_crop_window FILE HWND               the window as it shows on the screen
#   scup_wait_new_window OLD SECONDS         the program's next main window
#   scup_wait_other_dialog SECONDS HWND...   an enabled dialog that is none of the HWNDs
#   scup_wait_idle MAIN SECONDS              a check or an installation has ended
#   scup_rows HWND ID                        a list's rows, one a line
#   scup_open_history MAIN                   the history dialog, opened from the menu

[ -n "${SCUP_DRIVE_READ:-}" ] && return 0
readonly SCUP_DRIVE_READ=1
source "$(dirname "${BASH_SOURCE[0]}")/control_ids.sh"

readonly SCUP_PROGRAM_PROP=ScriboUpdaterWindow
# Before a window is saved as a picture: the time a freshly changed window takes to paint under
# Wine. Pictures only; no result waits on it.
readonly SCUP_PAINT_SECONDS=1.5

scup_drive() {
  local out err status
  out=$(mktemp) err=$(mktemp)
  wine "$SCUP_DRIVE_BIN/scdrive.exe" "$@" >"$out" 2>"$err"
  status=$?
  # scdrive says why whenever it fails. A failure without a word is a Wine process that ended before
  # scdrive ran (seen now and then on a loaded machine, for test programs as well): it is logged and
  # run once more, which is safe because it did nothing.
  if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
    echo "scdrive $1: ended with status $status and printed nothing; running it once more" \
      >>"${SCUP_DRIVE_LOG:-/dev/stderr}"
    wine "$SCUP_DRIVE_BIN/scdrive.exe" "$@" >"$out" 2>"$err"
    status=$?
  fi
  cat "$out"
  cat "$err" >>"${SCUP_DRIVE_LOG:-/dev/null}"
  rm -f "$out" "$err"
  return "$status"
}

# A demo PC as on its first day: no history, settings or applications of an earlier run, the
# updater installed at the version the demo catalog offers (so that no self-upgrade is proposed).
scup_prepare_demo_pc() {
  local build=$1 prefix=$2 lcid=$3
  scup_start_display || { echo "no display" >&2; return 1; }
  scup_wine_prefix "$prefix" || { echo "could not prepare the Wine prefix $prefix" >&2; return 1; }
  wineserver -k 2>/dev/null
  wineserver -w
  scup_hold_wine_session
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Corvane "$WINEPREFIX"/drive_c/users/*/Application\ Data/Corvane
  scup_import_reg demo-clean <<'REG'
Windows Registry Editor Version 5.00

[-HKEY_CURRENT_USER\Software\Corvane Industries, Ltd.\ScUpdater]
REG
  scup_remove_applications
  scup_draw_own_frames
  scup_set_default_lcid "$lcid"
  scup_demo_set_installed_version "$(scup_demo_catalog_updater_version "$build")"
}

# The maker's applications an earlier run installed (their keys in both registry views and their
# folders) are gone; the updater's settings and the driver's stay.
scup_remove_applications() {
  local view key
  for view in 32 64; do
    wine reg query "HKLM\\Software\\Corvane Industries, Ltd." /reg:$view 2>/dev/null | tr -d '\r' |
      grep '^HKEY_LOCAL_MACHINE\\' | grep -v -e '\\ScUpdater$' -e '\\Scribo$' |
      while read -r key; do wine reg delete "$key" /f /reg:$view >/dev/null 2>&1; done
  done
  rm -rf "$WINEPREFIX/drive_c/Program Files/Corvane" "$WINEPREFIX/drive_c/Program Files (x86)/Corvane"
}

scup_crop_window() {
  local file=$1 rect after x y w h attempt
  sleep "$SCUP_PAINT_SECONDS"
  # A window that moves, resizes or goes while the screen is taken would leave only a part of it
  # in the picture: its place is read again afterwards, and the picture taken again if it changed.
  for attempt in 1 2 3; do
    rect=$(scup_drive rect "$2" | tr -d '\r') || return 1
    read -r x y w h <<<"$rect"
    [ "$x" -lt 0 ] && { w=$((w + x)); x=0; }
    [ "$y" -lt 0 ] && { h=$((h + y)); y=0; }
    import -window root png:- | convert png:- -crop "${w}x${h}+${x}+${y}" +repage "$file"
    after=$(scup_drive rect "$2" | tr -d '\r') || return 1
    [ "$after" = "$rect" ] && return 0
    sleep 0.3
  done
  return 1
}

scup_wait_new_window() {
  local old=$1 i found
  for i in $(seq 1 $(($2 * 10))); do
    found=$(scup_drive list-windows | tr -d '\r' |
      awk -v old="$old" '/ prop 1 / && / enabled 1 / && $1 != old { print $1; exit }')
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.1
  done
  return 1
}

# Whether or not the dialog is one of the program's main windows (the printer choice, a question).
scup_wait_other_dialog() {
  local seconds=$1 i found
  shift
  for i in $(seq 1 $((seconds * 10))); do
    found=$(scup_drive list-windows | tr -d '\r' | awk -v skip=" $* " \
      '/class "#32770"/ && / enabled 1 / && index(skip, " " $1 " ") == 0 { print $1; exit }')
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.1
  done
  return 1
}

# Refresh is enabled again once the check or installation has ended.
scup_wait_idle() { scup_drive wait-enabled "$1" "$IDC_UPD_REFRESH" 1 --timeout $(($2 * 1000)) >/dev/null; }

# [x] or [ ], then the cells, tab-separated.
scup_rows() { scup_drive rows "$1" "$2" | tr -d '\r'; }

# Prints the dialog's handle once it shows its rows.
scup_open_history() {
  local main=$1 history
  scup_drive command "$main" "$ID_UPD_HISTORY" >/dev/null || return 1
  history=$(scup_wait_other_dialog 20 "$main") || return 1
  scup_drive wait-rows "$history" "$IDC_HISTORY_LIST" 0 --timeout 10000 >/dev/null || return 1
  echo "$history"
}
