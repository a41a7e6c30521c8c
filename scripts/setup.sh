#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build make g++
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  libz-mingw-w64-dev
  wine wine64
  xvfb x11-utils imagemagick xdotool
  fonts-noto-core fonts-noto-cjk fonts-dejavu-core fonts-wine fonts-tlwg-loma-ttf
  googletest
  libcpp-httplib-dev libpugixml-dev libboost1.81-dev zlib1g-dev libssl-dev libzip-dev unzip
  tinyproxy wixl nginx openssl
  zip osslsigncode python3
  clang libclang-rt-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  # Servers the tests start themselves (nginx, tinyproxy) must not be started as services by their
  # packages: a policy that refuses every service start holds while they are installed.
  policy=/usr/sbin/policy-rc.d
  added_policy=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod +x "$policy"
    added_policy=1
  fi
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  if [ -n "$added_policy" ]; then $SUDO rm -f "$policy"; fi
fi
