#!/usr/bin/env bash
# Builds the Windows program (cross-compiled, build/win) and the native Linux tools (build/native).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
jobs=$(nproc)

cmake -S "$root" -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
cmake --build "$build/win" -j "$jobs"

cmake -S "$root/tools" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/native" -j "$jobs"
