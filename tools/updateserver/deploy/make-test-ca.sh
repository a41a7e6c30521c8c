#!/usr/bin/env bash
# Makes a test certificate authority and the server certificates signed for the local machine:
#   ca.pem                the authority, to be trusted by the test PCs (their machine Root store)
#   server.pem/.key       127.0.0.1, 127.0.0.2 and localhost, signed by the authority
#   expired.pem/.key      the same names and authority, valid in January 2020 only
#   wrongname.pem/.key    signed by the authority for another host name
#   untrusted.pem/.key    the right names, signed by an authority no PC trusts
#   codesign.pem/.key     code signing for the maker's publisher, signed by the authority: what the
#                         build signs the installers and the updater with (Authenticode)
#   othersigner.pem/.key  code signing for another publisher, signed by the authority
#   strangesigner.pem/.key code signing for the maker's publisher, signed by the authority no PC trusts
# An authority already there is kept, with everything it signed: both builds (Windows and native) make
# it, and what one build signed must still be trusted after the other ran.
# Usage: make-test-ca.sh OUT_DIR
set -euo pipefail
out=${1:?usage: $0 OUT_DIR}
mkdir -p "$out"
exec 9>"$out/.lock"
flock 9
readonly OUTPUTS="ca.pem server.pem server.key expired.pem expired.key wrongname.pem wrongname.key untrusted.pem
  untrusted.key codesign.pem codesign.key othersigner.pem othersigner.key strangesigner.pem strangesigner.key"
complete=1
for f in $OUTPUTS; do [ -s "$out/$f" ] || complete=""; done
if [ -n "$complete" ]; then
  touch "$out/ca.pem" "$out/server.pem"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

readonly PUBLISHER="Corvane Industries, Ltd."
readonly LOCAL_NAMES="DNS:127.0.0.1,IP:127.0.0.1,DNS:127.0.0.2,IP:127.0.0.2,DNS:localhost"

# authority NAME SUBJECT: a self-signed authority.
authority() {
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout "$1.key" -out "$1.pem" -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  : >"$1.index"
  echo 1000 >"$1.serial"
  cat >"$1.cnf" <<CNF
[ ca ]
default_ca = signer
[ signer ]
database = $1.index
serial = $1.serial
new_certs_dir = .
default_md = sha256
default_days = 825
policy = any_name
copy_extensions = none
unique_subject = no
[ any_name ]
commonName = supplied
CNF
}

# leaf NAME AUTHORITY COMMON_NAME ALT_NAMES [openssl ca date options]: a server certificate.
leaf() {
  local name=$1 signer=$2 cn=$3 alt=$4
  shift 4
  openssl req -new -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "/CN=$cn" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' \
    "$alt" >"$name.ext"
  openssl ca -batch -notext -config "$signer.cnf" -cert "$signer.pem" -keyfile "$signer.key" -in "$name.csr" \
    -out "$name.pem" -extfile "$name.ext" "$@" 2>/dev/null
}

# code_signer NAME AUTHORITY PUBLISHER: a code-signing certificate.
code_signer() {
  local name=$1 signer=$2
  openssl req -new -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "/O=$3/CN=$3" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$name.ext"
  sed -i 's/^commonName = supplied$/commonName = supplied\norganizationName = optional/' "$signer.cnf"
  openssl ca -batch -notext -config "$signer.cnf" -cert "$signer.pem" -keyfile "$signer.key" -in "$name.csr" \
    -out "$name.pem" -extfile "$name.ext" -days 3650 2>/dev/null
}

authority ca "ScUpdater Test Authority"
authority other "Unknown Test Authority"
leaf server ca "ScUpdater test server" "$LOCAL_NAMES"
leaf expired ca "ScUpdater test server" "$LOCAL_NAMES" -startdate 20200101000000Z -enddate 20200131000000Z
leaf wrongname ca "updates.example.invalid" "DNS:updates.example.invalid"
leaf untrusted other "ScUpdater test server" "$LOCAL_NAMES"
code_signer codesign ca "$PUBLISHER"
code_signer othersigner ca "Someone Else Software"
code_signer strangesigner other "$PUBLISHER"

# shellcheck disable=SC2086
cp $OUTPUTS "$out/"
chmod 644 "$out"/*.key
