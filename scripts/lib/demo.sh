# Sourced by the demo scripts: a demo PC in a Wine prefix of its own, served by the local update
# server (the demo catalog) and with a label printer played by the printer simulator on COM5.
#   scup_demo_start BUILD WORK   starts both and points the program at the server
#   scup_demo_stop               stops what scup_demo_start started
# Needs scripts/lib/wineenv.sh sourced and WINEPREFIX prepared (scup_wine_prefix).

source "$(dirname "${BASH_SOURCE[0]}")/services.sh"

readonly SCUP_DEMO_PRINTER="Corvane SC-200"
readonly SCUP_DEMO_MODEL=0x2107
readonly SCUP_DEMO_COM=5

# The road from the program to the update service: "https" (the default) is the deployment of
# tools/updateserver/deploy, nginx ending TLS with a certificate of the test authority, which the demo
# PC trusts, in front of one update server; "http" is the update server itself.
SCUP_DEMO_ROAD=${SCUP_DEMO_ROAD:-https}
# The certificate nginx shows, one of the test authority's folder (server, expired, wrongname,
# untrusted).
SCUP_DEMO_CERT=${SCUP_DEMO_CERT:-server}
# The catalog folder the update service serves; empty for the build's demo catalog
# (BUILD/native/demo-catalog). A scenario sets it to a catalog of its own, made with mkcatalog.
SCUP_DEMO_CATALOG=${SCUP_DEMO_CATALOG:-}

# scup_demo_catalog BUILD: the catalog folder the update service serves.
scup_demo_catalog() { echo "${SCUP_DEMO_CATALOG:-$1/native/demo-catalog}"; }

# scup_demo_start_server BUILD WORK [PORT] [ADDRESS]: the port the program uses (nginx's on the
# https road); 0, the default, takes a free one. The address is 127.0.0.1 unless given. Sets
# SCUP_DEMO_SERVER (the program's base address) and SCUP_DEMO_INSTANCE (the update server's own
# address:port, for its control endpoint).
scup_demo_start_server() {
  local build=$1 work=$2 port=${3:-0} address=${4:-127.0.0.1}
  if [ "$SCUP_DEMO_ROAD" = https ]; then
    [ "$port" = 0 ] && port=$(scup_free_port "$address")
    scup_demo_trust_test_authority "$build" || return 1
    scup_demo_start_instance "$build" "$work" 0 "$address" --base-url "https://$address:$port" || return 1
    scup_demo_start_nginx "$build" "$work" "$address:$port" || return 1
    SCUP_DEMO_SERVER="https://$address:$port"
  else
    scup_demo_start_instance "$build" "$work" "$port" "$address" || return 1
    SCUP_DEMO_SERVER="http://$SCUP_DEMO_INSTANCE"
  fi
  scup_import_reg demo-server <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Corvane Industries, Ltd.\\ScUpdater\\Settings]
"VersionCheckURL"="$SCUP_DEMO_SERVER/scupdater/versioncheck"
"NoticeURL"="$SCUP_DEMO_SERVER/scupdater/notice"
"FileUpdateURL"="$SCUP_DEMO_SERVER/scupdater/fileupdate"
REG
}

# scup_demo_start_instance BUILD WORK PORT ADDRESS [OPTIONS...]: one update server on the demo catalog
# (SCUP_DEMO_CATALOG when set).
scup_demo_start_instance() {
  local build=$1 work=$2 port=$3 address=$4
  shift 4
  scup_start_updateserver "$build/native/bin/updateserver" "$work/server.out" "$address" "$port" \
    --catalog "$(scup_demo_catalog "$build")" --log "$work/server.log" "$@" || return 1
  SCUP_DEMO_SERVER_PID=$SCUP_SERVICE_PID
  SCUP_DEMO_INSTANCE=$SCUP_UPDATESERVER_ADDRESS
}

# scup_demo_start_nginx BUILD WORK LISTEN: nginx in front of the update server just started.
scup_demo_start_nginx() {
  local build=$1 work=$2 listen=$3 certs=$1/native/test-ca i
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  WORKERS=1 bash "$root/tools/updateserver/deploy/render-nginx-conf.sh" "$work/nginx.conf" "$work/nginx" \
    "$listen" "$certs/$SCUP_DEMO_CERT.pem" "$certs/$SCUP_DEMO_CERT.key" "$(scup_demo_catalog "$build")" \
    "$SCUP_DEMO_INSTANCE" || return 1
  nginx -c "$work/nginx.conf" -p "$work/nginx" -g 'daemon off;' >"$work/nginx.out" 2>&1 &
  scup_keep_service $!
  SCUP_DEMO_NGINX_PID=$SCUP_SERVICE_PID
  scup_wait_for_port "${listen%:*}" "${listen##*:}" "$SCUP_DEMO_NGINX_PID" && return 0
  echo "nginx did not start:" >&2
  cat "$work/nginx.out" "$work/nginx/error.log" >&2 2>/dev/null
  return 1
}

# scup_demo_trust_test_authority BUILD: the demo PC trusts the test authority, as a PC of a company
# trusts the company's own (its certificate in the machine's Root store). Once per prefix and authority.
scup_demo_trust_test_authority() {
  local ca=$1/native/test-ca/ca.pem mark
  mark="$WINEPREFIX/.scup-trusted-$(sha256sum "$ca" | cut -c1-16)"
  [ -e "$mark" ] && return 0
  (cd "$1/win/bin" && wine trustca.exe "$(winepath -w "$ca" 2>/dev/null)") >"$WINEPREFIX/.scup-trustca.out" 2>&1 || {
    echo "the test authority could not be trusted:" >&2
    grep -v '^[0-9a-f]*:\(err\|fixme\|warn\)' "$WINEPREFIX/.scup-trustca.out" >&2
    return 1
  }
  touch "$mark"
}

# Stops the update service alone (nginx and the update server), as when it goes down;
# scup_demo_start_server with the same port brings it back at the same address.
scup_demo_stop_server() {
  local pid
  for pid in ${SCUP_DEMO_NGINX_PID:-} ${SCUP_DEMO_SERVER_PID:-}; do scup_stop_service "$pid"; done
  SCUP_DEMO_NGINX_PID=""
  SCUP_DEMO_SERVER_PID=""
  return 0
}

# The printer holds firmware older than the catalog offers; what it accepts stays in its state file
# for the rest of the run.
scup_demo_start_printer() {
  local build=$1 work=$2
  cat >"$work/printer-state.txt" <<STATE
# the demo printer's stored files, seeded by scripts/lib/demo.sh
file type=6 model=$SCUP_DEMO_MODEL length=4096 name=FP-MAIN version=1.00 spec=ALL_ALL
file type=3 model=$SCUP_DEMO_MODEL length=1024 name=FP-FONTS version=2.00 spec=ALL_ALL
STATE
  # At a serial line's own rate the transfer lasts a few seconds, long enough to be seen and shot.
  scup_start_printersim "$build/native/bin/printersim" "$work/printer.out" --prefix "$WINEPREFIX" \
    --com "$SCUP_DEMO_COM" --model "$SCUP_DEMO_MODEL" --state "$work/printer-state.txt" \
    --log "$work/printer.log" --baud 115200 || return 1
  SCUP_DEMO_PRINTER_PID=$SCUP_SERVICE_PID
  # The driver package's information library, where the package installs it for 64-bit programs.
  local common="$WINEPREFIX/drive_c/Program Files/Common Files/Corvane/Scribo"
  mkdir -p "$common"
  cp "$build/win/driverpkg/CVSCINF.dll" "$common/" || return 1
  # Bidirectional support on (0x800): the printer answers, so the firmware transfer may use it.
  scup_seed_printer "$SCUP_DEMO_PRINTER" "$SCUP_DEMO_PRINTER" "COM$SCUP_DEMO_COM:" 00002107 00000800
}

# scup_demo_activity WORK: how many lines the server and the printer have logged so far. A window of
# the program is idle until its update thread takes it over, so an idle window alone does not tell
# a check that has ended from one that has not begun; the thread asks the server or the printer only
# once it has marked the window busy. Take the mark before the action, then wait for more.
scup_demo_activity() { cat "$1/server.log" "$1/printer.log" "$1/nginx/access.log" 2>/dev/null | wc -l; }

# scup_demo_wait_activity WORK MARK SECONDS: the server or the printer has logged more than MARK lines.
scup_demo_wait_activity() {
  local i
  for i in $(seq 1 $(($3 * 10))); do
    [ "$(scup_demo_activity "$1")" -gt "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

scup_demo_start() {
  local build=$1 work=$2
  mkdir -p "$work"
  scup_demo_start_server "$build" "$work" || return 1
  scup_demo_start_printer "$build" "$work" || return 1
}

scup_demo_stop() { scup_stop_services; }

# The updater version the demo catalog offers.
scup_demo_catalog_updater_version() {
  sed -n 's/.*<Updater version="\([^"]*\)".*/\1/p' "$1/native/demo-catalog/catalog.xml" | head -1
}

# scup_demo_set_installed_version VERSION: the "PackageVersion" a setup (or a self-upgrade) records
# for the installed updater; the server's newer version is offered against it.
scup_demo_set_installed_version() {
  scup_import_reg demo-version <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Corvane Industries, Ltd.\\ScUpdater\\Settings]
"PackageVersion"="$1"
REG
}

# scup_demo_install_applications BUILD WORK: the demo PC has the label editor 5.2 and the address
# book 1.3 installed at releases older than the demo catalog's, by their own (stand-in) installers
# run silently from WORK/installers, where each records the command lines it was given.
scup_demo_install_applications() {
  local from=$1/win/fixtures/installers to=$2/installers
  mkdir -p "$to"
  cp "$from/scedit52_old_setup.exe" "$from/contact13_old_setup.exe" "$to/" || return 1
  wine "$to/scedit52_old_setup.exe" /s /a /silent /usage /qn || return 1
  wine "$to/contact13_old_setup.exe" /s /a /silent /qn || return 1
}

# scup_demo_installed_version PRODUCT: the "PackageVersion" an application's installer recorded,
# PRODUCT being its key below the maker's (e.g. "Scribo Editor\5.2").
scup_demo_installed_version() {
  wine reg query "HKLM\\Software\\Corvane Industries, Ltd.\\$1\\Settings" /v PackageVersion /reg:32 2>/dev/null |
    tr -d '\r' | awk '$1 == "PackageVersion" { print $NF }'
}

# scup_demo_restart_printer BUILD WORK [OPTIONS...]: the printer is unplugged and plugged in again,
# started with OPTIONS (e.g. --drop-after 2000); the files it stored so far are kept.
scup_demo_restart_printer() {
  local build=$1 work=$2
  shift 2
  [ -n "${SCUP_DEMO_PRINTER_PID:-}" ] && scup_stop_service "$SCUP_DEMO_PRINTER_PID"
  scup_start_printersim "$build/native/bin/printersim" "$work/printer.out" --prefix "$WINEPREFIX" \
    --com "$SCUP_DEMO_COM" --model "$SCUP_DEMO_MODEL" --state "$work/printer-state.txt" \
    --log "$work/printer.log" "$@" || return 1
  SCUP_DEMO_PRINTER_PID=$SCUP_SERVICE_PID
}
