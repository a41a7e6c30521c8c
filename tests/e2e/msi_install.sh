#!/usr/bin/env bash
# The installer of ScUpdater as an IT department uses it, with Wine's msiexec: one command installs
# the program with the department's server addresses, the installed program reaches that server,
# a newer .msi upgrades it in place, and uninstalling removes what it installed while the user's
# configuration stays.
# Usage: msi_install.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/lib.sh"
e2e_begin msi_install "${1:?usage: $0 BUILD_DIR}"
readonly PROGRAM_DIR="$WINEPREFIX/drive_c/Program Files/Corvane/ScUpdater"
readonly MACHINE_SETTINGS='HKLM\Software\Corvane Industries, Ltd.\ScUpdater\Settings'
readonly USER_SETTINGS='HKCU\Software\Corvane Industries, Ltd.\ScUpdater\Settings'

# machine_setting NAME: a value the installer left for every user of the PC.
machine_setting() {
  wine reg query "$MACHINE_SETTINGS" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { print $NF }'
}
# The installer service answers with its own codes (1603, 1619, ...; 67, 83 as an exit status);
# status 1 is a Wine process that ended before msiexec ran, as seen now and then on a loaded machine
# for test programs and scdrive too: it is noted and run once more, which is safe as it did nothing.
msiexec() {
  local status
  (cd "$E2E_OUT" && wine msiexec "$@") >>"$E2E_OUT/msiexec.out" 2>&1
  status=$?
  if [ "$status" -eq 1 ]; then
    echo "note - msiexec $1: ended with status 1 before it ran; running it once more" | tee -a "$E2E_OUT/msiexec.out"
    (cd "$E2E_OUT" && wine msiexec "$@") >>"$E2E_OUT/msiexec.out" 2>&1
    status=$?
  fi
  [ "$status" -eq 0 ] || echo "msiexec $1: ended with status $status" >>"$E2E_OUT/msiexec.out"
  return "$status"
}

# A run that broke off may have left the program installed: it goes first.
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
for key in $(wine reg query "$uninstall_key" /reg:64 2>/dev/null | tr -d '\r' | grep -o '{[0-9A-F-]*}$'); do
  wine reg query "$uninstall_key\\$key" /v DisplayName /reg:64 2>/dev/null | grep -q ScUpdater &&
    msiexec /qn /x "$key"
done

# The addresses reach the program only through the installer: the demo's own per-user ones go.
for name in VersionCheckURL NoticeURL FileUpdateURL; do
  wine reg delete "$USER_SETTINGS" /v "$name" /f >/dev/null 2>&1
done
msi=$(winepath -w "$E2E_BIN/ScUpdater.msi" 2>/dev/null)
server=$SCUP_DEMO_SERVER/scupdater
e2e_expect "msiexec /qn /i with the three addresses succeeds" \
  msiexec /qn /i "$msi" "VERSIONCHECKURL=$server/versioncheck" "NOTICEURL=$server/notice" \
  "FILEUPDATEURL=$server/fileupdate"
for file in ScUpdater.exe ScUpRes.dll scfilo.dll unzip32.dll; do
  e2e_expect "$file is installed" test -f "$PROGRAM_DIR/$file"
done
e2e_expect "the Start menu has ScUpdater" \
  test -n "$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'ScUpdater.lnk' 2>/dev/null | head -1)"
e2e_expect "the version check address is the one given" test "$(machine_setting VersionCheckURL)" = "$server/versioncheck"
e2e_expect "the installed version is recorded" test "$(machine_setting PackageVersion)" = 1.0.0

asked=$(grep -c '/scupdater/versioncheck' "$E2E_OUT/services/server.log")
report=$E2E_OUT/installed-check.json
(cd "$PROGRAM_DIR" && wine ScUpdater.exe -CHECK -REPORT "$(winepath -w "$report" 2>/dev/null)") \
  >"$E2E_OUT/installed-check.out" 2>&1
e2e_expect "the installed program checks with exit code 0" test $? -eq 0
e2e_expect "it reached the server the installer named" grep -q '"reached": true' "$report"
e2e_expect "the server was asked" test "$(grep -c '/scupdater/versioncheck' "$E2E_OUT/services/server.log")" -gt "$asked"
# A user's own settings, as the dialogs save them: uninstalling must leave them.
config_dir=$(find "$WINEPREFIX"/drive_c/users/*/AppData/Roaming -maxdepth 0 2>/dev/null | head -1)/Corvane/ScUpdater
mkdir -p "$config_dir"
config=$config_dir/ScUpdater.config
[ -f "$config" ] || printf '<?xml version="1.0"?>\n<Config/>\n' >"$config"

# A newer .msi of the same program, built as the build builds the first.
newer_dir=$E2E_OUT/newer
rm -rf "$newer_dir"
cp -r "$E2E_BUILD/win/msi" "$newer_dir"
(cd "$newer_dir" && wixl -a x64 -D Version=1.0.1 -o ScUpdater-1.0.1.msi ScUpdater.wxs) >"$E2E_OUT/wixl.out" 2>&1
newer=$(winepath -w "$newer_dir/ScUpdater-1.0.1.msi" 2>/dev/null)
# Given without the addresses, as an upgrade pushed to every PC usually is.
e2e_expect "the newer .msi installs over the first" msiexec /qn /i "$newer"
e2e_expect "the installed version is the newer one" test "$(machine_setting PackageVersion)" = 1.0.1
e2e_expect "the upgrade keeps the addresses given first" \
  test "$(machine_setting VersionCheckURL) $(machine_setting FileUpdateURL)" = "$server/versioncheck $server/fileupdate"
e2e_expect "the program is still there" test -f "$PROGRAM_DIR/ScUpdater.exe"

e2e_expect "uninstalling succeeds" msiexec /qn /x "$newer"
e2e_expect "the program is gone" test ! -e "$PROGRAM_DIR/ScUpdater.exe"
e2e_expect "the machine-wide settings are gone" test -z "$(machine_setting PackageVersion)"
e2e_expect "the user's configuration stays" test -f "${config:-/nonexistent}"
e2e_finish
