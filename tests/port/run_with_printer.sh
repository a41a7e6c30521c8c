#!/usr/bin/env bash
# Runs Windows tests of the port library against the printer simulator over a real serial path:
# starts printersim on COM11 of the tests' Wine prefix, seeds printer queues in the prefix's
# spooler (one on the simulator's port, and on ports that cannot be driven), runs the test
# executable through cmake/wine-run.sh, then stops the simulator and removes the queues again.
# Usage: run_with_printer.sh PRINTERSIM TEST_EXE PREFIX GTEST_FILTER [printersim options...]
set -uo pipefail

sim=${1:?usage: $0 PRINTERSIM TEST_EXE PREFIX GTEST_FILTER [printersim options...]}
test_exe=${2:?}
prefix=${SCUP_WINEPREFIX:-${3:?}}
filter=${4:?}
shift 4

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/services.sh"

readonly COM=11
readonly MODEL=0x2107
readonly PRINTER="ScFilo Test Printer"
readonly PRINTERS=("$PRINTER" "ScFilo Test LPT" "ScFilo Test Absent" "ScFilo Test USB")
readonly PORTS=("COM$COM:" "LPT3:" "COM12:" "USB001")

scup_wine_prefix "$prefix" || { echo "cannot prepare the Wine prefix $prefix" >&2; exit 1; }
export SCUP_WINEPREFIX=$WINEPREFIX

work=$(mktemp -d)
sim_pid=""
seeded=0

remove_printers() {
  local name body=$'Windows Registry Editor Version 5.00\n'
  for name in "${PRINTERS[@]}"; do
    body+=$'\n'"[-HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\$name]"$'\n'
  done
  scup_import_reg printers-off <<<"$body"
}

# A simulator that does not end cleanly on SIGTERM (or ends with an error) fails the run.
stop_simulator() {
  [ -n "$sim_pid" ] || return 0
  local rc=0
  scup_stop_service "$sim_pid" || rc=$?
  sim_pid=""
  [ "$rc" -eq 0 ] || { echo "printersim ended with $rc" >&2; return 1; }
}

cleanup() {
  stop_simulator
  # A simulator that started but never said it was ready is stopped as well.
  scup_stop_services
  [ "$seeded" -eq 1 ] && remove_printers
  rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/state.txt" <<STATE
# seeded by run_with_printer.sh
file type=6 model=$MODEL length=4096 name=FIRMWAREA version=1.00 spec=ENG_USA
file type=3 model=$MODEL length=1024 name=FONTS version=2.10 spec=JPN_JPN
STATE

scup_start_printersim "$sim" "$work/sim.out" --prefix "$WINEPREFIX" --com "$COM" --model "$MODEL" \
  --cancel-limit 600000 --state "$work/state.txt" --log "$work/sim.log" "$@" || exit 1
sim_pid=$SCUP_SERVICE_PID

body=$'Windows Registry Editor Version 5.00\n'
for i in "${!PRINTERS[@]}"; do
  body+=$'\n'"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\${PRINTERS[$i]}]"$'\n'
  body+="\"Name\"=\"${PRINTERS[$i]}\""$'\n'"\"Printer Driver\"=\"Corvane SC-200\""$'\n'
  body+="\"Port\"=\"${PORTS[$i]}\""$'\n'"\"Attributes\"=dword:00000000"$'\n'
done
seeded=1
scup_import_reg printers-on <<<"$body" || { echo "cannot seed the printer queues" >&2; exit 1; }

export SCFILO_TEST_PRINTER="$PRINTER" SCFILO_TEST_COM=$COM SCFILO_TEST_MODEL=$MODEL
export SCFILO_TEST_UNSUPPORTED_PRINTER="${PRINTERS[1]}" SCFILO_TEST_ABSENT_PRINTER="${PRINTERS[2]}"
export SCFILO_TEST_USB_PRINTER="${PRINTERS[3]}"
export SCFILO_TEST_LOG="Z:${work//\//\\}\\sim.log"
unset SCFILO_BAUD_RATE

(cd "$(dirname "$test_exe")" && bash "$root/cmake/wine-run.sh" "$test_exe" --gtest_filter="$filter")
status=$?

if ! stop_simulator; then
  status=1
fi
link="$WINEPREFIX/dosdevices/com$COM"
if [ -L "$link" ] && [[ "$(readlink "$link")" == /dev/pts/* ]]; then
  echo "the simulator left $link behind" >&2
  status=1
fi
if [ "$status" -ne 0 ]; then
  echo "--- printersim output" >&2
  cat "$work/sim.out" >&2
  echo "--- printersim command log (last 40 lines)" >&2
  tail -n 40 "$work/sim.log" >&2
fi
exit $status
