#!/usr/bin/env bash
# The user picks another language in the main dialog's Language menu: the dialog comes back in that
# language at the same place with the same printer and region, the start dialog follows, and the
# next start of the program opens in the chosen language.
# Usage: language_choice.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin language_choice "${1:?usage: $0 BUILD_DIR}" 1033
readonly MAIN_HEADER_TITLE=$IDC_UPD_HEADER_TITLE
readonly LANGUAGE_FIRST=$ID_UPD_LANGUAGE_FIRST
readonly DEUTSCH=$((LANGUAGE_FIRST + 2))

e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the start dialog is ready" test -n "$start"
[ -n "$start" ] || { e2e_finish; exit 1; }
main=$(e2e_open_software_view "$start")
e2e_expect "the software view opens in English" test "$(scdrive text "$main" "$MAIN_HEADER_TITLE")" = "PC software"
e2e_expect "the check ends" e2e_wait_idle "$main" 120
read -r _ x y _ <<<"$(scdrive rect "$main")"
printer=$(scdrive text "$main" "$E2E_MAIN_PRINTER")
region=$(scdrive text "$main" "$E2E_MAIN_REGION")

scdrive command "$main" "$DEUTSCH" >/dev/null
german=$(e2e_wait_new_window "$main" 30)
e2e_expect "the main dialog comes back" test -n "$german"
[ -n "$german" ] || { e2e_finish; exit 1; }
e2e_expect "it is in German" test "$(scdrive text "$german" "$MAIN_HEADER_TITLE")" = "PC-Software"
read -r _ gx gy _ <<<"$(scdrive rect "$german")"
e2e_expect "at the same place" test "$gx $gy" = "$x $y"
e2e_expect "with the same printer" test "$(scdrive text "$german" "$E2E_MAIN_PRINTER")" = "$printer"
e2e_expect "with the same region" test "$(scdrive text "$german" "$E2E_MAIN_REGION")" = "$region"
# Its check is answered from what the last one fetched, so it may end before it can be seen.
e2e_expect "it becomes ready" e2e_wait_idle "$german" 120
e2e_shot german-main "$german"
scdrive click "$german" 2 >/dev/null
start=$(scdrive wait --prop "$E2E_PROP" --timeout 30000 | cut -d' ' -f1)
scdrive wait-enabled "$start" 2 1 --timeout 30000 >/dev/null
e2e_expect "the start dialog is in German too" test "$(scdrive text "$start" 2)" = "Schließen"
scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends after Close" e2e_wait_exit "$E2E_PID" 20

e2e_start_program
start=$(e2e_start_dialog)
e2e_expect "the next start opens in German" test "$(scdrive text "${start:-0}" 2)" = "Schließen"
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "the program ends after Close" e2e_wait_exit "$E2E_PID" 20
e2e_finish
