#!/usr/bin/env bash
# Makes the signing keys of a test or demo build, once: ECDSA P-256 key pairs whose private halves stay
# in the build folder and never enter the program or the repository.
#   maker1, maker2   the maker's two keys (the resource library trusts both; the catalog is signed with
#                    maker1, maker2 stands ready to replace it)
#   it               an IT department's own key (trusted only where a PC's machine settings name it)
#   stranger         a key nobody trusts
# Each NAME gives NAME.key (PEM, private) and NAME.pub (the public point X||Y, 64 bytes, in Base64 on
# one line: the form the program's settings hold). Keys already there are kept.
# Usage: make-signing-keys.sh OUT_DIR
set -euo pipefail
out=${1:?usage: $0 OUT_DIR}
mkdir -p "$out"
# Two builds configuring at once must not make two different halves of one pair.
exec 9>"$out/.lock"
flock 9
for name in maker1 maker2 it stranger; do
  [ -s "$out/$name.key" ] && [ -s "$out/$name.pub" ] && continue
  tmp=$(mktemp "$out/.$name.XXXXXX")
  openssl ecparam -name prime256v1 -genkey -noout -out "$tmp" 2>/dev/null
  chmod 600 "$tmp"
  # The DER public key ends with the uncompressed point 04||X||Y: its last 64 bytes are X||Y.
  openssl ec -in "$tmp" -pubout -outform DER 2>/dev/null | tail -c 64 | base64 -w0 >"$out/.$name.pub"
  echo >>"$out/.$name.pub"
  mv "$tmp" "$out/$name.key"
  mv "$out/.$name.pub" "$out/$name.pub"
done
