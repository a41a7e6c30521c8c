#!/usr/bin/env bash
# Nothing the program fetches is used unless the maker's signed statement vouches for it. Hostile
# catalogs, made here from the demo catalog (files swapped, grown or changed by a byte, statements
# moved, removed, expired, signed with a key nobody trusts, an installer of a forbidden kind, older
# releases claimed as newer, package addresses in the clear, the updater's own package for another
# version), are served over https through nginx by the real update server. Each unattended run
# installs, sends and takes nothing it was not meant to: its exit code and report say why, the
# installed versions, the history and the printer's stored files stay as they were, and no
# installer ran. The maker's second key and an IT department's own key, once the machine's settings
# name it, are accepted, and so is an unsigned catalog where the machine turns the check off.
# One run in the dialogs shows the refusal to the user.
# Usage: signatures.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin signatures "${1:?usage: $0 BUILD_DIR}"
readonly EDITOR='Scribo Editor\5.2' ADDRESS_BOOK='Scribo Address Book\1.3'
readonly SETTINGS='HKLM\Software\Corvane Industries, Ltd.\ScUpdater\Settings'
readonly USER_SETTINGS='HKCU\Software\Corvane Industries, Ltd.\ScUpdater\Settings'
readonly SERVICES=$E2E_OUT/services CATALOGS=$E2E_OUT/catalogs SERVED=$E2E_OUT/served
readonly KEYS=$E2E_BUILD/signing-keys MKCATALOG=$E2E_BUILD/native/bin/mkcatalog
readonly DEMO_CATALOG=$E2E_BUILD/native/demo-catalog DEMO_SOURCE=$e2e_root/tests/fixtures/catalog-src
readonly INSTALLERS=$E2E_BUILD/win/fixtures/installers
readonly EDITOR_EXE=software/PP-SCEDIT52_ENU_ALL_5.2.1.exe EDITOR_ZIP=software/PP-SCEDIT52_ENU_ALL_5.2.1.zip
readonly BOOK_EXE=software/PP-CONTACT13_ENU_ALL_1.3.2.exe BOOK_ZIP=software/PP-CONTACT13_ENU_ALL_1.3.2.zip
readonly MAIN_PDZ=SC-200/SC-200_FP-MAIN_ALL_ALL_1.05.pdz FONTS_PDZ=SC-200/SC-200_FP-FONTS_ALL_ALL_2.10.pdz
readonly MAIN_ZIP=SC-200/SC-200_FP-MAIN_ALL_ALL_1.05.zip FONTS_ZIP=SC-200/SC-200_FP-FONTS_ALL_ALL_2.10.zip
# The editor 5.1's stand-in installer is exactly as long as the 5.2.1 one and takes the same silent
# command line: swapped in for it, only the SHA-256 tells them apart, and had it run, its own
# settings key (which nothing else writes) would be there after the run.
readonly WITNESS_KEY='HKLM\Software\Corvane Industries, Ltd.\Scribo Editor\5.1\Settings'
# What a .bat package would leave behind, had anything run it.
readonly BAT_WITNESS=$WINEPREFIX/drive_c/users/Public/scup-bat-ran.txt
mkdir -p "$CATALOGS"

# The machine-wide trust settings are this scenario's alone: gone before it and after it, however
# it ends, so that no other scenario runs with an IT key trusted or the check turned off.
clear_trust_settings() {
  local key
  for key in "$SETTINGS" "$USER_SETTINGS"; do
    wine reg delete "$key" /v SigningKeys /f >/dev/null 2>&1
    wine reg delete "$key" /v SignatureCheck /f >/dev/null 2>&1
  done
  return 0
}
trap 'clear_trust_settings; e2e_cleanup' EXIT
clear_trust_settings
rm -f "$BAT_WITNESS"

# --- catalogs -------------------------------------------------------------------------------------

# copy_demo NAME: a copy of the demo catalog (signed with the maker's first key) to tamper with;
# prints its folder.
copy_demo() {
  rm -rf "${CATALOGS:?}/$1"
  cp -a "$DEMO_CATALOG" "$CATALOGS/$1" && echo "$CATALOGS/$1"
}

# build_catalog NAME SOURCE MKCATALOG_OPTIONS...: a catalog made by mkcatalog from SOURCE with the
# build's real packages; prints its folder.
build_catalog() {
  local name=$1 source=$2
  shift 2
  "$MKCATALOG" --source "$source" --packages "$E2E_BUILD/native/packages" --placeholders \
    --out "$CATALOGS/$name" "$@" >"$CATALOGS/$name.out" 2>&1 || { cat "$CATALOGS/$name.out" >&2; return 1; }
  echo "$CATALOGS/$name"
}

# sign KEY FILE FIELDS...: FILE.sig made anew with mkcatalog sign.
sign() {
  local key=$1 file=$2
  shift 2
  "$MKCATALOG" sign --key "$KEYS/$key.key" "$@" "$file" >/dev/null
}

# same_but_size_and_digest A B: the statements differ, in their size and sha256 lines alone.
same_but_size_and_digest() {
  ! cmp -s "$1" "$2" && cmp -s <(grep -Ev '^(size|sha256): ' "$1") <(grep -Ev '^(size|sha256): ' "$2")
}

# flip_byte FILE OFFSET: the byte at OFFSET replaced by its complement, the length kept.
flip_byte() {
  local byte
  byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
  printf "\\$(printf %03o $((255 - byte)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# serve FOLDER: the update service serves FOLDER from now on (the update server reloads it; nginx
# serves its files from the same place).
serve() {
  rm -rf "$SERVED"
  cp -a "$1" "$SERVED" && e2e_server_control POST /_control/reload >/dev/null
}

# restart_service BASE_URL: the update server and nginx started again on the served folder at the
# same address, the server naming its files under BASE_URL.
restart_service() {
  local listen=${SCUP_DEMO_SERVER#https://}
  scup_demo_stop_server
  scup_demo_start_instance "$E2E_BUILD" "$SERVICES" 0 127.0.0.1 --base-url "$1" &&
    scup_demo_start_nginx "$E2E_BUILD" "$SERVICES" "$listen"
}

# --- runs -----------------------------------------------------------------------------------------

trace_lines() { cat "$(e2e_data_file ScUpdater.trace.txt)" 2>/dev/null | wc -l; }
downloads() { find "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Corvane -path '*DownloadedFiles*' "$@" 2>/dev/null; }
access_lines() { cat "$SERVICES/nginx/access.log" 2>/dev/null | wc -l; }

# run NAME ARGS...: e2e_run_unattended, and besides RAN (the installers' records "*.args" seen in
# the download folder while it ran; the program removes that folder when it ends) and ACCESS_MARK
# (the nginx log's length before the run, for fetched).
record_installers() {
  local record
  for record in $(downloads -name '*.args' -printf '%f\n'); do
    [[ " $RAN " == *" $record "* ]] || RAN+=" $record"
  done
}
# The run's refusals as its trace tells them, for whoever reads the log, and its entries.
show_run() {
  [ -n "$RAN" ] && echo "  installers seen:$RAN"
  tail -n +"$((TRACE_MARK + 1))" "$(e2e_data_file ScUpdater.trace.txt)" 2>/dev/null | tr -d '\r' |
    grep 'is refused' | cut -d' ' -f4- | sed 's/^/  trace: /'
  entries failed | sed 's/^/  failed: /'
  entries skipped | sed 's/^/  skipped: /'
  entries installed | sed 's/^/  installed: /'
}
E2E_UNATTENDED_WATCH=record_installers
E2E_UNATTENDED_SHOW=show_run
run() {
  RAN=""
  ACCESS_MARK=$(access_lines)
  TRACE_MARK=$(trace_lines)
  e2e_run_unattended "$@"
}

# entries ARRAY: the report's ARRAY ("offered", "installed", "skipped", "failed"), an entry a line,
# its values joined by " | " (the writer puts one value a line).
entries() {
  awk -v array="$1" '
    index($0, "  \"" array "\": [") == 1 { inside = $0 !~ /\[\]/; next }
    inside && /^  \]/ { inside = 0 }
    inside && /^    \{/ { line = "" }
    inside && /^      "/ {
      value = $0; sub(/^      "[a-z]*": "?/, "", value); sub(/"?,?$/, "", value)
      line = line (line == "" ? "" : " | ") value }
    inside && /^    \}/ { print line }' "$REPORT" 2>/dev/null
}
# has ARRAY TEXT: an entry of ARRAY holds TEXT (e.g. "PP-SCEDIT52 | verify | the file differs").
has() { entries "$1" | grep -qF -- "$2"; }
lacks() { ! entries "$1" | grep -qF -- "$2"; }
# none ARRAY: ARRAY is empty; only ARRAY ID: ARRAY has the one entry, for ID.
none() { [ -z "$(entries "$1")" ]; }
only() { [ "$(entries "$1" | cut -d' ' -f1)" = "$2" ]; }
exited() { test "$RUN_EXIT" -eq "$1"; }
reported() { grep -q "\"$1\": \"$2\"" "$REPORT" 2>/dev/null; }
no_window() { test -z "$SAW_WINDOW"; }
# fetched PATTERN: a GET since the run began whose path matches PATTERN (extended regex).
fetched() { tail -n +"$((ACCESS_MARK + 1))" "$SERVICES/nginx/access.log" | grep -Eq "\"GET [^ ]*$1"; }
not_fetched() { ! fetched "$1"; }
# not COMMAND...: COMMAND fails (its output dropped).
not() { ! "$@" >/dev/null 2>&1; }
# wait_for SECONDS COMMAND...: COMMAND succeeds within SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
# settle MAIN SECONDS: the main dialog is idle again; the texts of the message boxes that came up
# meanwhile are left in STRAY, and each box is answered.
settle() {
  local main=$1 deadline=$((SECONDS + $2)) box
  STRAY=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    e2e_wait_idle "$main" 1 && return 0
    box=$(e2e_wait_other_dialog "$main" 1) || continue
    STRAY+="[$(scdrive text "$box" 65535 | tr -d '\r')] "
    e2e_shot "message-$box" "$box"
    scdrive click "$box" 1 >/dev/null
  done
  return 1
}
# no_witness: nothing that only a swapped-in installer or a .bat package would leave is there.
no_witness() { ! wine reg query "$WITNESS_KEY" /reg:32 >/dev/null 2>&1 && [ ! -e "$BAT_WITNESS" ]; }
# ran CODE: an installer of the package CODE recorded its command line during the run.
ran() { [[ "$RAN" == *" $1_"* ]]; }
no_installer_ran() { test -z "$RAN" && no_witness; }

history_records() {
  local log
  log=$(e2e_data_file ScUpdater.log)
  grep -o "<Category>$1</Category>" "${log:-/dev/null}" | wc -l
}
printer_state() { grep '^file ' "$SERVICES/printer-state.txt"; }
editor_at() { test "$(scup_demo_installed_version "$EDITOR")" = "$1"; }
book_at() { test "$(scup_demo_installed_version "$ADDRESS_BOOK")" = "$1"; }

# before_run: what an attack must leave alone, taken before it.
before_run() {
  PCS_BEFORE=$(history_records PCS)
  FIRM_BEFORE=$(history_records FIRM)
  STATE_BEFORE=$(printer_state)
}
history_gained() { test "$(history_records PCS)" -eq $((PCS_BEFORE + $1)); }
firmware_history_gained() { test "$(history_records FIRM)" -eq $((FIRM_BEFORE + $1)); }
printer_unchanged() { test "$(printer_state)" = "$STATE_BEFORE"; }

# expect_nothing_installed: the applications at their old releases, no history record, no installer.
expect_nothing_installed() {
  e2e_expect "the editor is still at 5.2.0.0" editor_at 5.2.0.0
  e2e_expect "the address book is still at 1.3.0.0" book_at 1.3.0.0
  e2e_expect "the history gains no software record" history_gained 0
  e2e_expect "no installer ran" no_installer_ran
}

# old_releases: the editor 5.2.0.0 and the address book 1.3.0.0 installed again, as on the first day.
old_releases() {
  editor_at 5.2.0.0 || wine "$SERVICES/installers/scedit52_old_setup.exe" /s /a /silent /usage /qn
  book_at 1.3.0.0 || wine "$SERVICES/installers/contact13_old_setup.exe" /s /a /silent /qn
  editor_at 5.2.0.0 && book_at 1.3.0.0
}

scup_demo_install_applications "$E2E_BUILD" "$SERVICES"
e2e_expect "the demo PC has the editor 5.2.0.0 and the address book 1.3.0.0" old_releases
# From here on the service serves the scenario's own catalogs.
cp -a "$DEMO_CATALOG" "$SERVED"
SCUP_DEMO_CATALOG=$SERVED
restart_service "$SCUP_DEMO_SERVER" || { echo "FAIL - the update service did not start again"; exit 1; }

# --- a swapped installer --------------------------------------------------------------------------
catalog=$(copy_demo swapped)
cp "$INSTALLERS/scedit51_setup.exe" "$catalog/$EDITOR_EXE"
e2e_expect "the swapped installer differs from the signed one, not in length" \
  bash -c '! cmp -s "$0" "$1" && [ "$(stat -c %s "$0")" = "$(stat -c %s "$1")" ]' \
  "$catalog/$EDITOR_EXE" "$DEMO_CATALOG/$EDITOR_EXE"
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
before_run
run swapped -INSTALL ALL
e2e_expect "swapped: -INSTALL ALL ends partly done (4)" exited 4
e2e_expect "swapped: the report fails the editor at verify: the file differs from the signed file" \
  has failed "PP-SCEDIT52 | verify | the file differs from the signed file"
e2e_expect "swapped: the report requires signatures" reported signatures required
e2e_expect "swapped: the editor's installer was fetched, then refused" fetched "$EDITOR_EXE "
e2e_expect "swapped: the editor is still at 5.2.0.0" editor_at 5.2.0.0
e2e_expect "swapped: the swapped-in installer never ran" not ran PP-SCEDIT52
e2e_expect "swapped: nothing of the swapped-in installer is on the PC" no_witness
e2e_expect "swapped: the address book, untouched, is installed: 1.3.2.0" book_at 1.3.2.0
e2e_expect "swapped: the report lists the address book as installed" has installed "PP-CONTACT13 | "
e2e_expect "swapped: the history gains the address book's record alone" history_gained 1
e2e_expect "swapped: the report keeps the message the user would have seen" \
  grep -q 'Scribo Editor 5.2.1 was not installed: it does not carry a valid signature' "$REPORT"
e2e_expect "swapped: no window came up" no_window

# --- the signing key taken, the publisher's certificate not -------------------------------------
# A statement signed with the maker's key vouches for the editor 5.1's installer with its
# Authenticode signature taken off, and for the same installer signed for the maker's name by an
# authority no PC trusts: the statements pass, the publisher's signature does not.
for variant in unsigned strangesigner; do
  e2e_expect "$variant: the demo PC has the editor 5.2.0.0 and the address book 1.3.0.0 again" old_releases
  catalog=$(copy_demo "authenticode-$variant")
  osslsigncode remove-signature -in "$INSTALLERS/scedit51_setup.exe" -out "$CATALOGS/scedit51-$variant.exe" >/dev/null
  rm -f "$catalog/$EDITOR_EXE"
  if [ "$variant" = strangesigner ]; then
    osslsigncode sign -certs "$E2E_BUILD/native/test-ca/strangesigner.pem" \
      -key "$E2E_BUILD/native/test-ca/strangesigner.key" -h sha256 -in "$CATALOGS/scedit51-$variant.exe" \
      -out "$catalog/$EDITOR_EXE" >/dev/null
  else
    cp "$CATALOGS/scedit51-$variant.exe" "$catalog/$EDITOR_EXE"
  fi
  e2e_expect "$variant: the catalog's editor installer is the 5.1 one, signed anew" \
    not cmp -s "$catalog/$EDITOR_EXE" "$DEMO_CATALOG/$EDITOR_EXE"
  sign maker1 "$catalog/$EDITOR_EXE" --package PP-SCEDIT52 --spec ENU_ALL --version 5.2.1
  e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
  before_run
  run "authenticode-$variant" -INSTALL ALL
  e2e_expect "$variant: -INSTALL ALL ends partly done (4)" exited 4
  e2e_expect "$variant: the report fails the editor at verify: not Authenticode-signed by the maker's publisher" \
    has failed "PP-SCEDIT52 | verify | not Authenticode-signed by the maker's publisher"
  e2e_expect "$variant: the editor's installer was fetched, then refused" fetched "$EDITOR_EXE "
  e2e_expect "$variant: the editor is still at 5.2.0.0" editor_at 5.2.0.0
  e2e_expect "$variant: the installer never ran" not ran PP-SCEDIT52
  e2e_expect "$variant: nothing of it is on the PC" no_witness
  e2e_expect "$variant: the history gains the address book's record alone" history_gained 1
done
e2e_expect "the update service serves the catalog swapped" serve "$CATALOGS/swapped"

# The same catalog in the dialogs: the editor offered, Install, and the message box says why
# nothing was installed.
not_signed=$(sed -n 's/^#define T_MSG_NOT_SIGNED "\(.*\)"$/\1/p' "$e2e_root/res/lang/en.rc")
not_signed=${not_signed//%s/Scribo Editor 5.2.1}
before_run
e2e_start_program
start=$(e2e_start_dialog)
main=""
[ -n "$start" ] && main=$(e2e_open_software_view "$start")
e2e_expect "dialogs: the software view opens" test -n "$main"
if [ -n "$main" ]; then
  e2e_expect "dialogs: the check ends" e2e_wait_idle "$main" 120
  offered=$(e2e_rows "$main" "$E2E_MAIN_LIST")
  echo "$offered" | sed 's/^/  offered: /'
  e2e_expect "dialogs: the editor 5.2.1 is offered, ticked (its description is genuine)" \
    grep -q '^\[x\].*Scribo Editor.*5\.2\.1' <<<"$offered"
  ACCESS_MARK=$(access_lines)
  scdrive click "$main" "$E2E_MAIN_INSTALL" >/dev/null
  box=$(scdrive wait-dialog --class '#32770' --text-contains "$not_signed" --timeout 120000 | cut -d' ' -f1)
  e2e_expect "dialogs: Install ends in the message box: $not_signed" test -n "$box"
  if [ -n "$box" ]; then
    e2e_shot not-signed-message "$box"
    scdrive click "$box" 1 >/dev/null
  fi
  e2e_expect "dialogs: the swapped installer was fetched" fetched "$EDITOR_EXE "
  # After the installation the offer is checked again: its description fetched anew, then the
  # list shown; any message box on the way is kept and answered.
  e2e_expect "dialogs: the offer is checked again after the installation" \
    wait_for 60 fetched "$EDITOR_ZIP "
  e2e_expect "dialogs: that check ends" settle "$main" 60
  [ -n "$STRAY" ] && echo "dialogs: message boxes after the installation: $STRAY"
  # The editor's description is genuine and the check lists it again, so no update was left out:
  # a message that some are not listed (the installation's refusal, told again) is wrong. This
  # fails until the check after an installation stops telling the installation's refusals.
  e2e_expect "dialogs: no other message box comes up (none says updates are left out of the list)" \
    test -z "$STRAY"
  e2e_expect "dialogs: the editor is listed again" \
    bash -c 'grep -q "Scribo Editor.*5\.2\.1" <<<"$0"' "$(e2e_rows "$main" "$E2E_MAIN_LIST")"
  e2e_expect "dialogs: the editor is still at 5.2.0.0" editor_at 5.2.0.0
  e2e_expect "dialogs: nothing of the swapped-in installer is on the PC" no_witness
  e2e_expect "dialogs: the history gains nothing" history_gained 0
  scdrive click "$main" 2 >/dev/null
  start=$(e2e_start_dialog 30000)
fi
[ -n "$start" ] && scdrive click "$start" 2 >/dev/null
e2e_expect "dialogs: the program ends" e2e_wait_exit "$E2E_PID" 30
e2e_running "$E2E_PID" && scup_kill_wine_programs
E2E_PID=""

# --- files changed after they were signed, and statements missing or by a stranger ---------------
e2e_expect "the address book is at 1.3.0.0 again" old_releases
catalog=$(copy_demo files)
# The main firmware one byte off: a byte of its archive's time stamp, so that it still unpacks and
# the printer would take it; only its SHA-256 tells. The fonts' statement right in every field but
# signed by a key nobody trusts.
flip_byte "$catalog/$MAIN_PDZ" 10
sign stranger "$catalog/$FONTS_PDZ" --package FP-FONTS --spec ALL_ALL --version 2.10 --model SC-200
# The editor's installer longer than signed; the address book's installer without its statement.
head -c 4096 /dev/urandom >>"$catalog/$EDITOR_EXE"
rm "$catalog/$BOOK_EXE.sig"
e2e_expect "the firmware differs from the signed one by a byte, and still unpacks" \
  bash -c '[ "$(cmp -l "$0" "$1" | wc -l)" -eq 1 ] && unzip -tq "$0" >/dev/null' "$catalog/$MAIN_PDZ" "$DEMO_CATALOG/$MAIN_PDZ"
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"

before_run
run firmware-changed -FIRMWARE "$SCUP_DEMO_PRINTER"
e2e_expect "changed firmware: -FIRMWARE fails (1)" exited 1
e2e_expect "changed firmware: the main firmware is refused at verify: the file differs" \
  has failed "FP-MAIN | verify | the file differs from the signed file"
e2e_expect "changed firmware: the fonts are refused: signed by a key this PC does not trust" \
  has failed "FP-FONTS | verify | signed by a key this PC does not trust"
e2e_expect "changed firmware: the changed package was fetched, then refused" fetched "$MAIN_PDZ "
e2e_expect "changed firmware: the fonts' package was not even fetched" not_fetched "$FONTS_PDZ "
e2e_expect "changed firmware: nothing is reported sent" none installed
e2e_expect "changed firmware: the printer's stored files are as before" printer_unchanged
e2e_expect "changed firmware: the history gains no firmware record" firmware_history_gained 0
e2e_expect "changed firmware: no window came up" no_window

before_run
run installers-changed -INSTALL ALL
e2e_expect "changed installers: -INSTALL ALL with nothing installed fails (1)" exited 1
e2e_expect "changed installers: the editor's grown installer is refused at its signed size" \
  has failed "PP-SCEDIT52 | verify | the file's size differs from the signed size"
e2e_expect "changed installers: the address book's installer without a statement is refused" \
  has failed "PP-CONTACT13 | verify | no signed statement of the maker"
e2e_expect "changed installers: the address book's installer was not fetched" not_fetched "$BOOK_EXE "
e2e_expect "changed installers: nothing is reported installed" none installed
expect_nothing_installed

# --- statements that say something else, at the check -----------------------------------------------
catalog=$(copy_demo statements)
# The address book's genuine statement of its description laid beside the editor's; the address
# book's own right in every field, by the maker's key, but expired; the main firmware's right in
# every field but signed by a key nobody trusts; the fonts' description grown by a byte and its
# statement's size and SHA-256 changed to match, the signature left as it was.
cp "$catalog/$BOOK_ZIP.sig" "$catalog/$EDITOR_ZIP.sig"
sign maker1 "$catalog/$BOOK_ZIP" --package PP-CONTACT13 --spec ENU_ALL --version 1.3.2 \
  --expires 2020-01-01T00:00:00Z 2>/dev/null
sign stranger "$catalog/$MAIN_ZIP" --package FP-MAIN --spec ALL_ALL --version 1.05 --model SC-200
printf 'x' >>"$catalog/$FONTS_ZIP"
sed -i -e "s/^size: .*/size: $(stat -c %s "$catalog/$FONTS_ZIP")/" \
  -e "s/^sha256: .*/sha256: $(sha256sum "$catalog/$FONTS_ZIP" | cut -c1-64)/" "$catalog/$FONTS_ZIP.sig"
e2e_expect "statements: the fonts' statement differs from the signed one in its size and SHA-256 alone" \
  same_but_size_and_digest "$catalog/$FONTS_ZIP.sig" "$DEMO_CATALOG/$FONTS_ZIP.sig"
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
before_run
run statements-check -CHECK
e2e_expect "statements: -CHECK with refusals ends partly done (4)" exited 4
e2e_expect "statements: the editor's is for another package, the address book's" \
  has failed 'PP-SCEDIT52 | verify | the signed statement is for another package (package \"PP-CONTACT13\"'
e2e_expect "statements: the address book's has expired" \
  has failed "PP-CONTACT13 | verify | the signed statement has expired"
e2e_expect "statements: the main firmware's is signed by a key this PC does not trust" \
  has failed "FP-MAIN | verify | signed by a key this PC does not trust"
e2e_expect "statements: the fonts' signature does not match their edited statement" \
  has failed "FP-FONTS | verify | the signature does not match the statement"
e2e_expect "statements: nothing is offered" none offered
e2e_expect "statements: the report names the left-out updates as the user would be told" \
  grep -q 'not listed because they do not carry a valid signature of the maker: .*PP-SCEDIT52' "$REPORT"
e2e_expect "statements: no refused description was fetched" \
  not_fetched "($EDITOR_ZIP|$BOOK_ZIP|$MAIN_ZIP|$FONTS_ZIP) "

before_run
run statements -INSTALL ALL
e2e_expect "statements: -INSTALL ALL fails (1)" exited 1
e2e_expect "statements: the editor is refused at verify" has failed "PP-SCEDIT52 | verify | "
e2e_expect "statements: the address book too" has failed "PP-CONTACT13 | verify | "
e2e_expect "statements: no installer was fetched" not_fetched '\.exe '
expect_nothing_installed

# --- a catalog without statements, as an older server has ------------------------------------------
catalog=$(build_catalog unsigned "$DEMO_SOURCE" --unsigned)
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
before_run
run unsigned -INSTALL ALL
e2e_expect "unsigned: -INSTALL ALL fails (1)" exited 1
e2e_expect "unsigned: the editor is refused: no signed statement" has failed "PP-SCEDIT52 | verify | no signed statement"
e2e_expect "unsigned: the address book too" has failed "PP-CONTACT13 | verify | no signed statement"
e2e_expect "unsigned: no installer was fetched" not_fetched '\.exe '
expect_nothing_installed

# --- older releases claimed as newer, and a package of a kind that may not run ---------------------
# A catalog made by the maker's own tool with the maker's key: the editor 5.1.9 and the main
# firmware 0.90, genuinely signed as such, and an address book whose package is a .bat file. The
# hostile server then claims the older two are 5.3.0 and 1.90, so that the program is asked to
# take them: only their signed versions tell.
source_dir=$CATALOGS/older-source
rm -rf "$source_dir"
cp -a "$DEMO_SOURCE" "$source_dir"
mkdir -p "$source_dir/packages/software" "$source_dir/packages/firmware"
printf '@echo ran> "C:\\users\\Public\\scup-bat-ran.txt"\r\n' >"$source_dir/packages/software/ScriboAddressBook-1.3.2-ENU.bat"
"$E2E_BUILD/native/bin/pd3tool" make --model 0x2107 --type 6 --name FP-MAIN --version 0.90 --spec ALL_ALL \
  --size 65536 -o "$source_dir/packages/firmware/SC-200_FP-MAIN_0.90.pd3" >/dev/null
sed -i -e 's|<Package id="PP-SCEDIT52" category="PCS" version="5.2.1"|<Package id="PP-SCEDIT52" category="PCS" version="5.1.9"|' \
  -e 's|<Spec value="ENU_ALL" source="software/ScriboAddressBook-1.3.2-ENU.exe"/>|<Spec value="ENU_ALL" source="software/ScriboAddressBook-1.3.2-ENU.bat"/>|' \
  -e 's|<Package id="FP-MAIN" category="FIRM" version="1.05"|<Package id="FP-MAIN" category="FIRM" version="0.90"|' \
  -e 's|firmware/SC-200_FP-MAIN_1.05.pd3|firmware/SC-200_FP-MAIN_0.90.pd3|' "$source_dir/catalog-src.xml"
catalog=$(build_catalog older "$source_dir" --key "$KEYS/maker1.key" --valid-days 2)
sed -i -e '/id="PP-SCEDIT52"/ s/version="5\.1\.9"/version="5.3.0"/' \
  -e '/id="FP-MAIN"/ s/version="0\.90"/version="1.90"/' "$catalog/catalog.xml"
e2e_expect "older: the catalog claims the editor 5.3.0 for its signed 5.1.9" \
  grep -q 'version="5.3.0" description="software/PP-SCEDIT52_ENU_ALL_5.1.9.zip"' "$catalog/catalog.xml"
e2e_expect "older: the catalog claims the main firmware 1.90 for its signed 0.90" \
  grep -q 'version="1.90" description="SC-200/SC-200_FP-MAIN_ALL_ALL_0.90.zip"' "$catalog/catalog.xml"
e2e_expect "older: the address book's package is a .bat file, signed" \
  test -s "$catalog/software/PP-CONTACT13_ENU_ALL_1.3.2.bat.sig"
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"

before_run
run older -INSTALL ALL
e2e_expect "older: -INSTALL ALL with nothing installed fails (1)" exited 1
e2e_expect "older: the editor 5.1.9 is skipped: not newer than the installed 5.2.0.0" \
  has skipped "PP-SCEDIT52 | not newer than the installed version (5.1.9 offered, 5.2.0.0 installed)"
e2e_expect "older: the editor is not offered" lacks offered "PP-SCEDIT52 |"
e2e_expect "older: the editor is not failed either" lacks failed "PP-SCEDIT52 |"
e2e_expect "older: the older installer was not fetched" not_fetched 'PP-SCEDIT52_ENU_ALL_5\.1\.9\.exe '
e2e_expect "older: the address book's .bat is refused at verify: not of the kind its package allows" \
  has failed "PP-CONTACT13 | verify | not of the kind of installer its package allows"
e2e_expect "older: nothing ending in .bat was fetched" not_fetched '\.bat '
expect_nothing_installed

before_run
run older-firmware -FIRMWARE "$SCUP_DEMO_PRINTER"
e2e_expect "older firmware: -FIRMWARE ends with 0 (the fonts are sent)" exited 0
e2e_expect "older firmware: the main firmware 0.90 is skipped: not newer than the printer's 1.00" \
  has skipped "FP-MAIN | not newer than the installed version (0.90 offered, 1.00 installed)"
e2e_expect "older firmware: the main firmware is not offered" lacks offered "FP-MAIN |"
e2e_expect "older firmware: its package was not fetched" not_fetched 'FP-MAIN_ALL_ALL_0\.90\.pdz '
e2e_expect "older firmware: the printer keeps its main firmware 1.00" \
  grep -q 'name=FP-MAIN version=1\.00' "$SERVICES/printer-state.txt"
e2e_expect "older firmware: the genuine fonts 2.10 reach the printer" \
  grep -q 'name=FP-FONTS version=2\.10' "$SERVICES/printer-state.txt"
e2e_expect "older firmware: the report lists the fonts alone as sent" only installed FP-FONTS
e2e_expect "older firmware: the history gains the fonts' record alone" firmware_history_gained 1

# --- package addresses in the clear on the https road ----------------------------------------------
# The update server names its files under an http address while the exchanges go over https.
e2e_expect "the update service serves the catalog $(basename "$DEMO_CATALOG")" serve "$DEMO_CATALOG"
https_base=$SCUP_DEMO_SERVER
restart_service "http://${SCUP_DEMO_SERVER#https://}"
e2e_expect "http: the service is back at the same https address" test "$SCUP_DEMO_SERVER" = "$https_base"
before_run
run http -INSTALL ALL
e2e_expect "http: -INSTALL ALL fails (1)" exited 1
e2e_expect "http: the editor's description is refused: its address is not https" \
  has failed "PP-SCEDIT52 | verify | its address is not https while the server is reached over https"
e2e_expect "http: the address book's too" \
  has failed "PP-CONTACT13 | verify | its address is not https"
e2e_expect "http: the exchanges went over https (the server answered)" grep -q '"reached": true' "$REPORT"
expect_nothing_installed
restart_service "$https_base"

# --- a redirect from https to plain http -----------------------------------------------------------
# The front of the service sends the version check on to an http address: the program follows no
# such redirect, and says that it was refused, not that the server could not be reached.
served_at=${SCUP_DEMO_SERVER#https://}
sed -i 's|^\( *\)location / {|\1location = /redirected/versioncheck { return 302 http://127.0.0.1:9/scupdater/versioncheck; }\n\1location / {|' \
  "$SERVICES/nginx.conf"
nginx -c "$SERVICES/nginx.conf" -p "$SERVICES/nginx" -s reload >/dev/null 2>&1
redirects() {
  printf 'GET /redirected/versioncheck HTTP/1.0\r\nHost: %s\r\n\r\n' "$served_at" |
    timeout 10 openssl s_client -quiet -connect "$served_at" 2>/dev/null | head -1 | grep -q ' 302 '
}
e2e_expect "redirect: nginx sends /redirected/versioncheck on to http" wait_for 20 redirects
wine reg add "$USER_SETTINGS" /v VersionCheckURL /t REG_SZ /d "$SCUP_DEMO_SERVER/redirected/versioncheck" /f >/dev/null 2>&1
run redirect -CHECK
e2e_expect "redirect: -CHECK fails" not exited 0
e2e_expect "redirect: the report says the server was not reached" grep -q '"reached": false' "$REPORT"
e2e_expect "redirect: and why: the redirect to an address that is not secure was refused" \
  grep -q 'sent the request on to an address that is not secure (http), so it was refused' "$REPORT"
e2e_expect "redirect: the trace tells the refused redirect" \
  grep -q 'the server sent the request on to an address that is not secure' "$(e2e_data_file ScUpdater.trace.txt)"
wine reg add "$USER_SETTINGS" /v VersionCheckURL /t REG_SZ /d "$SCUP_DEMO_SERVER/scupdater/versioncheck" /f >/dev/null 2>&1

# --- the keys this PC trusts -----------------------------------------------------------------------
key_id() { sed -n 's/^key: //p' "$1/$EDITOR_EXE.sig"; }
catalog=$(build_catalog maker2 "$DEMO_SOURCE" --key "$KEYS/maker2.key" --valid-days 2)
e2e_expect "maker2: the catalog is signed with another key than the demo's" \
  bash -c '[ -n "$0" ] && [ "$0" != "$1" ]' "$(key_id "$catalog")" "$(key_id "$DEMO_CATALOG")"
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
before_run
run maker2 -INSTALL ALL
e2e_expect "maker2: the maker's second key is trusted: -INSTALL ALL ends with 0" exited 0
e2e_expect "maker2: the editor is at 5.2.1.0" editor_at 5.2.1.0
e2e_expect "maker2: the address book is at 1.3.2.0" book_at 1.3.2.0
e2e_expect "maker2: the history gains both records" history_gained 2
e2e_expect "maker2: nothing is failed" none failed

e2e_expect "it: the applications are at their old releases again" old_releases
catalog=$(build_catalog it "$DEMO_SOURCE" --key "$KEYS/it.key" --valid-days 2)
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
# The user's own settings name the IT key and turn the check off: only the machine's settings may.
wine reg add "$USER_SETTINGS" /v SigningKeys /t REG_SZ /d "$(cat "$KEYS/it.pub")" /f >/dev/null 2>&1
wine reg add "$USER_SETTINGS" /v SignatureCheck /t REG_SZ /d off /f >/dev/null 2>&1
before_run
run it-untrusted -INSTALL ALL
clear_trust_settings
e2e_expect "it: an IT department's key is not trusted on a user's word: -INSTALL ALL fails (1)" exited 1
e2e_expect "it: the editor is refused: signed by a key this PC does not trust" \
  has failed "PP-SCEDIT52 | verify | signed by a key this PC does not trust"
e2e_expect "it: the address book too" has failed "PP-CONTACT13 | verify | signed by a key this PC does not trust"
e2e_expect "it: the user's settings did not turn the check off" reported signatures required
expect_nothing_installed

# The machine's settings name the IT key (the program is a 64-bit one: its view of HKLM).
wine reg add "$SETTINGS" /v SigningKeys /t REG_SZ /d "$(cat "$KEYS/it.pub")" /f >/dev/null 2>&1
before_run
run it-trusted -INSTALL ALL
wine reg delete "$SETTINGS" /v SigningKeys /f >/dev/null 2>&1
e2e_expect "it: named in the machine's SigningKeys, the IT key is trusted: -INSTALL ALL ends with 0" exited 0
e2e_expect "it: the editor is at 5.2.1.0" editor_at 5.2.1.0
e2e_expect "it: the address book is at 1.3.2.0" book_at 1.3.2.0
e2e_expect "it: the history gains both records" history_gained 2
e2e_expect "it: SigningKeys is gone again" not wine reg query "$SETTINGS" /v SigningKeys

# --- the check turned off for this PC, with a catalog as an older server has ------------------------
e2e_expect "off: the applications are at their old releases again" old_releases
e2e_expect "the update service serves the catalog $(basename "$CATALOGS/unsigned")" serve "$CATALOGS/unsigned"
wine reg add "$SETTINGS" /v SignatureCheck /t REG_SZ /d off /f >/dev/null 2>&1
not_verified=$(sed -n 's/^#define T_MSG_NOT_VERIFIED "\(.*\)"$/\1/p' "$e2e_root/res/lang/en.rc")
before_run
run off -INSTALL ALL
wine reg delete "$SETTINGS" /v SignatureCheck /f >/dev/null 2>&1
e2e_expect "off: -INSTALL ALL ends with 0" exited 0
e2e_expect "off: the report says signatures are off" reported signatures off
e2e_expect "off: the report keeps the warning that the check is off" grep -qF "$not_verified" "$REPORT"
e2e_expect "off: the editor is at 5.2.1.0" editor_at 5.2.1.0
e2e_expect "off: the address book is at 1.3.2.0" book_at 1.3.2.0
e2e_expect "off: SignatureCheck is gone again" not wine reg query "$SETTINGS" /v SignatureCheck

# --- the updater's own package ---------------------------------------------------------------------
# The server claims the updater 1.0.1 and hands out the maker's genuine 1.0.0 package with its
# statement: the statement does not vouch for what was offered. The program runs from a copy
# installed in its own folder at 0.9.0, as a PC has it (an upgrade would write into that folder).
catalog=$(copy_demo updater)
updater_version=$(scup_demo_catalog_updater_version "$E2E_BUILD")
sed -i "s|<Updater version=\"$updater_version\"|<Updater version=\"1.0.1\"|" "$catalog/catalog.xml"
e2e_expect "updater: the catalog offers the updater 1.0.1 with the package of $updater_version" \
  grep -q "<Updater version=\"1.0.1\" display=\"[^\"]*\" file=\"updater/ScUpdater-$updater_version.zip\"" "$catalog/catalog.xml"
e2e_expect "the update service serves the catalog $(basename "$catalog")" serve "$catalog"
installed_dir="$WINEPREFIX/drive_c/Program Files/Corvane/ScUpdater"
rm -rf "$installed_dir"
mkdir -p "$installed_dir"
cp "$E2E_BIN"/{ScUpdater.exe,ScUpRes.dll,scfilo.dll,unzip32.dll} "$installed_dir/"
cp "$E2E_BIN/previous/ScUpdater.exe" "$installed_dir/"
installed_sum=$(cd "$installed_dir" && md5sum ./*)
scup_demo_set_installed_version 0.9.0
package_version() {
  wine reg query "$SETTINGS" /v PackageVersion 2>/dev/null | tr -d '\r' | awk '/PackageVersion/ { print $NF }'
}
RUN_DIR=$installed_dir RUN_EXE='C:\Program Files\Corvane\ScUpdater\ScUpdater.exe' run updater -CHECK -SELFUPDATE
e2e_expect "updater: -CHECK -SELFUPDATE goes on with the check and ends partly done (4)" exited 4
e2e_expect "updater: the report fails ScUpdater at verify: the statement is for another package" \
  has failed 'ScUpdater | verify | the newer updater 1.0.1: the signed statement is for another package (version \"'"$updater_version"'\" where \"1.0.1\"'
e2e_expect "updater: its statement was fetched" fetched "updater/ScUpdater-$updater_version\.zip\.sig "
e2e_expect "updater: the package itself was not" not_fetched "updater/ScUpdater-$updater_version\.zip "
e2e_expect "updater: the check still reports what is offered (the printer's main firmware)" has offered "FP-MAIN | ALL_ALL"
e2e_expect "updater: the installed version is still 0.9.0" test "$(package_version)" = 0.9.0
e2e_expect "updater: the installed program's files are as they were" \
  test "$(cd "$installed_dir" && md5sum ./*)" = "$installed_sum"
e2e_expect "updater: no new updater runs" test -z "$(e2e_pids 'ScUpdater\.exe')"
e2e_expect "updater: no window came up" no_window
scup_demo_set_installed_version "$updater_version"
e2e_finish
