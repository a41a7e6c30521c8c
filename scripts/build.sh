#!/usr/bin/env bash
# Builds the Windows program (cross-compiled, build/win) and the native Linux tools (build/native).
#   scripts/build.sh          everything, every test program included
#   scripts/build.sh --demo   only what the demo run needs: the program with its libraries and resource
#                             library, the demo's installers, the update server, the printer simulator
#                             and the demo catalog
# Each stage prints one line when it starts and one when it ends; the compilers' own output goes to
# BUILD/build-*.log, whose end is shown when a stage fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SCUP_BUILD_DIR:-$root/build}
jobs=$(nproc)
win_target=all
native_target=all
what="everything"
if [ "${1:-}" = --demo ]; then
  win_target=scup_demo
  native_target=scup_demo_services
  what="what the demo needs"
fi
mkdir -p "$build"
stage=0
stages=4

# stage TITLE LOG COMMAND...: runs the command with its output in the log and says how it went.
stage() {
  local title=$1 log=$build/$2 started=$SECONDS
  shift 2
  stage=$((stage + 1))
  echo "[$stage/$stages] $title ..."
  if ! "$@" >"$log" 2>&1; then
    echo "[$stage/$stages] $title FAILED after $((SECONDS - started)) s; the end of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
  echo "[$stage/$stages] $title: done in $((SECONDS - started)) s"
}

# compile DIR TARGET: ninja's lines go to the stage's log; at each quarter of the steps it has to take a
# line goes to the terminal (descriptor 3, opened below; awk appends, since reopening /dev/fd/3 to
# write would cut a file it names).
compile() {
  cmake --build "$1" --target "$2" -j "$jobs" | awk '
    { print; fflush() }
    match($0, /^\[[0-9]+\/[0-9]+\]/) {
      split(substr($0, 2, RLENGTH - 2), n, "/")
      if (n[2] >= 40 && shown < 3 && n[1] * 4 >= (shown + 1) * n[2]) {
        shown = int(n[1] * 4 / n[2]); if (shown > 3) shown = 3
        printf "      %d%% (%d of %d steps)\n", shown * 25, n[1], n[2] >> "/dev/fd/3"
        fflush("/dev/fd/3")
      }
    }'
}
exec 3>&1

echo "Building $what in $build ($jobs cores)"
stage "configuring the Windows program" build-win-configure.log \
  cmake -S "$root" -B "$build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake"
stage "compiling the Windows program (mingw-w64)" build-win.log compile "$build/win" "$win_target"
stage "configuring the native tools" build-native-configure.log \
  cmake -S "$root/tools" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release
stage "compiling the native tools and the demo catalog" build-native.log compile "$build/native" "$native_target"
