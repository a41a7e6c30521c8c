#!/usr/bin/env bash
# Benchmark: downloads a large file from the local update server with the program's server
# exchanges (under Wine) and with curl, and prints both throughputs, their ratio and the program's
# peak working set. Usage: tests/bench/download_bench.sh [SIZE_MB]   (default 256; builds first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size_mb=${1:-256}
build=${SCUP_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/lib/wineenv.sh"
scup_wine_prefix "$build/win/wineprefix"

work=$(mktemp -d)
server_pid=""
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cp -r "$build/native/demo-catalog" "$work/catalog"
head -c $((size_mb * 1024 * 1024)) /dev/urandom >"$work/catalog/big.bin"
"$build/native/bin/updateserver" --catalog "$work/catalog" --bind 127.0.0.2 --port 0 --log "$work/server.log" \
  >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do grep -q "listening on" "$work/server.out" && break; sleep 0.1; done
address=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$work/server.out" | head -1)
url="http://$address/scupdater/files/big.bin"

curl_rate=$(curl -s -o "$work/curl.bin" -w "%{speed_download}" "$url")
rm -f "$work/curl.bin"
echo "curl: $(awk -v r="$curl_rate" 'BEGIN { printf "%.1f MB/s", r / 1e6 }')"

line=$(cd "$build/win/bin" && wine download_bench.exe "http://$address" "$url" 'C:\\windows\\temp\\scup-bench.bin' 2>&1 | grep "program:")
echo "$line"
program_rate=$(sed -n 's/.*= \([0-9.]*\) MB\/s.*/\1/p' <<<"$line")
awk -v p="$program_rate" -v c="$curl_rate" 'BEGIN { printf "ratio program/curl: %.2f\n", p * 1e6 / c }'
