#!/usr/bin/env bash
# Runs the end-to-end self-upgrade tests: builds a catalog whose updater package holds, as the
# demo catalog's does, the built program (its ScUpdater.exe marked at the end, so that the installed
# copy can be told apart from the one it replaced, and signed again by the publisher's code-signing
# certificate of CODESIGN_DIR) and the resource library, then runs the Windows test against the
# real update server through run_with_server.sh, which starts and stops the server.
# Usage: run_upgrade_e2e.sh UPDATESERVER MKCATALOG BIN_DIR TEST_EXE PREFIX GTEST_FILTER CODESIGN_DIR
set -uo pipefail
server=${1:?usage: $0 UPDATESERVER MKCATALOG BIN_DIR TEST_EXE PREFIX GTEST_FILTER CODESIGN_DIR}
mkcatalog=${2:?}
bin=${3:?}
test_exe=${4:?}
prefix=${5:?}
filter=${6:?}
codesign=${7:?}
here=$(cd "$(dirname "$0")" && pwd)

[ -x "$mkcatalog" ] || { echo "mkcatalog not found at $mkcatalog: build the native tools first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/src/packages/updater"
# The mark goes before the signature, which covers it.
osslsigncode remove-signature -in "$bin/ScUpdater.exe" -out "$work/unsigned.exe" >/dev/null
printf 'SCUP-E2E-NEW-BUILD' >>"$work/unsigned.exe"
osslsigncode sign -certs "$codesign/codesign.pem" -key "$codesign/codesign.key" -h sha256 -in "$work/unsigned.exe" \
  -out "$work/src/packages/updater/ScUpdater.exe" >/dev/null ||
  { echo "the marked updater could not be signed" >&2; exit 1; }
cp "$bin/ScUpRes.dll" "$work/src/packages/updater/"
cat >"$work/src/catalog-src.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<CatalogSource>
  <Updater version="1.0.0" display="1.0">
    <File source="updater/ScUpdater.exe"/>
    <File source="updater/ScUpRes.dll"/>
  </Updater>
</CatalogSource>
XML
# Signed as the demo catalog is, with the build's maker key that the resource library trusts.
keys=$(cd "$bin/../.." && pwd)/signing-keys
"$mkcatalog" --source "$work/src" --out "$work/catalog" --key "$keys/maker1.key" >"$work/mkcatalog.out" 2>&1 ||
  { echo "mkcatalog failed:" >&2; cat "$work/mkcatalog.out" >&2; exit 1; }

export SCUP_TEST_CATALOG="$work/catalog"
bash "$here/../server/run_with_server.sh" "$server" "$work/catalog" "$test_exe" "$prefix" "$filter"
