#!/usr/bin/env bash
# Benchmark: downloads a large file from the local update server through the program's server
# exchanges (download_bench.exe) and through the plainest WinHTTP read loop (bare_download_bench.exe),
# interleaved in one Wine prefix over several runs, with curl as a native reference. Prints every run,
# the median of each, the ratio program / bare loop (what the program's own code costs) and the
# program's peak working set in each run.
# Usage: tests/bench/download_bench.sh [SIZE_MB] [RUNS]   (default 256 MB, RUNS from the environment
# or 5; builds first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size_mb=${1:-256}
runs=${2:-${RUNS:-5}}
[[ "$size_mb" =~ ^[1-9][0-9]*$ && "$runs" =~ ^[1-9][0-9]*$ ]] || {
  echo "usage: $0 [SIZE_MB] [RUNS]" >&2
  exit 2
}
build=${SCUP_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/lib/wineenv.sh"
source "$root/scripts/lib/services.sh"
scup_wine_prefix "$build/win/wineprefix"

work=$(mktemp -d)
cleanup() {
  scup_stop_services
  # The prefix's Wine session would otherwise outlive the script by a few seconds, or for good when
  # a run was interrupted.
  scup_end_wine_session
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cp -r "$build/native/demo-catalog" "$work/catalog"
size=$((size_mb * 1024 * 1024))
head -c "$size" /dev/urandom >"$work/catalog/big.bin"
scup_start_updateserver "$build/native/bin/updateserver" "$work/server.out" 127.0.0.2 0 --catalog "$work/catalog" \
  --log "$work/server.log"
address=$SCUP_UPDATESERVER_ADDRESS
url="http://$address/scupdater/files/big.bin"
# Every copy lands on the same disk, the one the Wine prefix is on.
temp="$WINEPREFIX/drive_c/windows/temp"
mkdir -p "$temp"

# run_wine NAME LINE_PREFIX ARGS...: runs one bench program, checks that it read the whole file and
# prints its line.
run_wine() {
  local exe=$1 prefix=$2 out line
  shift 2
  out=$(cd "$build/win/bin" && wine "$exe" "$@" 2>&1) || true
  line=$(grep -m1 "^$prefix: " <<<"$out") || { echo "$exe failed:" >&2; tail -20 <<<"$out" >&2; exit 1; }
  [ "$(sed -n "s/^$prefix: \([0-9]*\) bytes.*/\1/p" <<<"$line")" = "$size" ] || { echo "$exe read a short file: $line" >&2; exit 1; }
  echo "$line"
}
rate_of() { sed -n 's/.*= \([0-9.]*\) MB\/s.*/\1/p' <<<"$1"; }
peak_of() { sed -n 's/.*peak working set \([0-9.]*\) MB.*/\1/p' <<<"$1"; }
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { m = int((NR + 1) / 2); printf "%.1f", NR % 2 ? v[m] : (v[m] + v[m + 1]) / 2 }'; }

program=() bare=() curl=() peaks=()
run_program() {
  local line
  line=$(run_wine download_bench.exe program "http://$address" "$url" 'C:\windows\temp\scup-bench.bin')
  echo "  $line"
  program+=("$(rate_of "$line")")
  peaks+=("$(peak_of "$line")")
}
run_bare() {
  local line
  line=$(run_wine bare_download_bench.exe "bare loop" "$url" 'C:\windows\temp\scup-bare.bin')
  echo "  $line"
  bare+=("$(rate_of "$line")")
}
echo "$runs runs of $size_mb MB from $url ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
for run in $(seq 1 "$runs"); do
  echo "run $run:"
  # Turn about which goes first, so that neither always meets a cold or a warm page cache.
  if ((run % 2)); then run_program; run_bare; else run_bare; run_program; fi
  rate=$(curl -s -o "$temp/scup-curl.bin" -w "%{speed_download}" "$url")
  rm -f "$temp/scup-curl.bin"
  curl+=("$(awk -v r="$rate" 'BEGIN { printf "%.1f", r / 1e6 }')")
  echo "  curl: ${curl[-1]} MB/s"
done

program_median=$(median <<<"${program[*]}")
bare_median=$(median <<<"${bare[*]}")
curl_median=$(median <<<"${curl[*]}")
echo "medians of $runs runs:"
echo "curl: $curl_median MB/s"
echo "program: $program_median MB/s"
echo "bare loop: $bare_median MB/s"
awk -v p="$program_median" -v b="$bare_median" 'BEGIN { printf "ratio program/bare loop: %.2f (goal 0.90)\n", p / b }'
awk -v p="$program_median" -v c="$curl_median" 'BEGIN { printf "ratio program/curl: %.2f\n", p / c }'
echo "program's peak working set per run: ${peaks[*]} MB (flat: it must not grow with the file size)"
