#!/usr/bin/env bash
# The program started once in each user-interface language: the start dialog, the firmware view,
# a message box (the About box) and the software view show that language's own texts, as its file
# in res/lang holds them, and mirrored windows for the right-to-left languages only.
# Usage: every_language.sh BUILD_DIR [--part K/N] [CODE...]   (all languages without codes)
# --part K/N takes every N-th language from the K-th on; the parts run side by side as scenarios
# of their own, each in its own prefix.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
source "$e2e_root/scripts/lib/languages.sh"
build_dir=${1:?usage: $0 BUILD_DIR [--part K/N] [CODE...]}
shift
part="" parts=1
if [ "${1:-}" = --part ]; then
  part=${2%/*} parts=${2#*/}
  shift 2
fi
e2e_begin "every_language${part:+-$part}" "$build_dir"
readonly MAIN_HEADER_TITLE=$IDC_UPD_HEADER_TITLE
readonly ABOUT_COMMAND=$ID_UPD_ABOUT

# lang_text CODE NAME: the text a language file defines for NAME.
lang_text() { sed -n "s/^#define $2 \"\(.*\)\"\$/\1/p" "$e2e_root/res/lang/$1.rc"; }


# check_language CODE LCID: one start of the program in the language, walked through both views.
check_language() {
  local code=$1 lcid=$2 start main about layout
  local close firmware_title software_title about_text
  close=$(lang_text "$code" T_CLOSE)
  firmware_title=$(lang_text "$code" TU_FIRMWARE_TITLE)
  software_title=$(lang_text "$code" TU_SOFTWARE_TITLE)
  about_text=$(lang_text "$code" TU_ABOUT)
  scup_set_default_lcid "$lcid"
  e2e_start_program
  start=$(e2e_start_dialog)
  if [ -z "$start" ]; then
    # Seen once in about a hundred starts under load: an English start dialog that stayed busy.
    # It is kept as a screen and reported, and the language gets one more start.
    echo "note - $code: the start dialog did not become ready (screen: $E2E_OUT/slow-start-$code.png); starting once more"
    e2e_snapshot "slow-start-$code"
    e2e_running "$E2E_PID" && { scup_kill_wine_programs; wait "$E2E_PID" 2>/dev/null; }
    scup_set_default_lcid "$lcid"
    e2e_start_program
    start=$(e2e_start_dialog)
  fi
  e2e_expect "$code: the start dialog is ready" test -n "$start"
  [ -n "$start" ] || return 1
  e2e_expect "$code: its Close button reads '$close'" e2e_wait_text "$start" 2 "$close"
  layout=$(scdrive layout "$start" | cut -d' ' -f1)
  if [ "$lcid" = 1025 ] || [ "$lcid" = 1037 ]; then
    e2e_expect "$code: the start dialog is mirrored" test "$layout" = mirrored
  else
    e2e_expect "$code: the start dialog is not mirrored" test "$layout" = unmirrored
  fi

  main=$(e2e_open_firmware_view "$start")
  e2e_expect "$code: the firmware view opens" test -n "$main"
  [ -n "$main" ] || return 1
  e2e_expect "$code: its heading reads '$firmware_title'" e2e_wait_text "$main" "$MAIN_HEADER_TITLE" "$firmware_title"
  e2e_expect "$code: the check ends" e2e_wait_idle "$main" 120
  scdrive command "$main" "$ABOUT_COMMAND" >/dev/null
  about=$(scdrive wait-dialog --class '#32770' --text-contains "$about_text" --timeout 30000 | cut -d' ' -f1)
  e2e_expect "$code: the About box reads '$about_text'" test -n "$about"
  scdrive close-messageboxes --timeout 5000 --quiet 500 >/dev/null
  scdrive click "$main" 2 >/dev/null

  start=$(scdrive wait --prop "$E2E_PROP" --timeout 30000 | cut -d' ' -f1)
  scdrive wait-enabled "$start" "$E2E_START_SOFTWARE" 1 --timeout 30000 >/dev/null
  main=$(e2e_open_software_view "$start")
  e2e_expect "$code: the software view opens" test -n "$main"
  [ -n "$main" ] || return 1
  e2e_expect "$code: its heading reads '$software_title'" e2e_wait_text "$main" "$MAIN_HEADER_TITLE" "$software_title"
  e2e_expect "$code: the check ends" e2e_wait_idle "$main" 120
  e2e_shot "software-$code" "$main"
  scdrive click "$main" 2 >/dev/null
  start=$(scdrive wait --prop "$E2E_PROP" --timeout 30000 | cut -d' ' -f1)
  scdrive wait-enabled "$start" 2 1 --timeout 30000 >/dev/null
  scdrive click "$start" 2 >/dev/null
  e2e_expect "$code: the program ends after Close" e2e_wait_exit "$E2E_PID" 20
}

codes=("$@")
if [ ${#codes[@]} -eq 0 ]; then
  index=0
  for entry in "${SCUP_LANGUAGES[@]}"; do
    [ $((index % parts)) -eq $((${part:-1} - 1)) ] && codes+=("${entry%% *}")
    index=$((index + 1))
  done
fi
for code in "${codes[@]}"; do
  lcid=$(scup_language_id "$code") || { echo "unknown language $code"; exit 2; }
  check_language "$code" "$lcid" || true
  # A language whose walk broke off leaves its windows: they go before the next one starts.
  e2e_running "$E2E_PID" && { scup_kill_wine_programs; wait "$E2E_PID" 2>/dev/null; }
done
e2e_finish
