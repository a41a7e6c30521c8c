#!/usr/bin/env bash
# Writes an nginx configuration for the update service from nginx.conf.in.
# Usage: render-nginx-conf.sh OUT_FILE RUN_DIR LISTEN CERT KEY CATALOG UPSTREAM...
#   RUN_DIR   folder for nginx's pid, logs and temporary files (made if missing)
#   LISTEN    address:port nginx takes for https, e.g. 127.0.0.2:8443
#   CERT KEY  the server certificate (with its chain) and key, in PEM
#   CATALOG   the catalog folder updateserver serves (the packages are served from it directly)
#   UPSTREAM  address:port of each updateserver instance
# WORKERS in the environment sets worker_processes (default auto).
# PLAIN_LISTEN=address:port in the environment adds a plain http listener beside the https one, for a
# load generator on the same machine that speaks no TLS. Leave it unset for PCs.
set -euo pipefail
[ $# -ge 7 ] || { echo "usage: $0 OUT_FILE RUN_DIR LISTEN CERT KEY CATALOG UPSTREAM..." >&2; exit 2; }
out=$1 run=$2 listen=$3 cert=$4 key=$5 catalog=$6
shift 6
mkdir -p "$run"
run=$(cd "$run" && pwd)
upstreams=""
for instance in "$@"; do upstreams+="        server $instance max_fails=1 fail_timeout=2s;"$'\n'; done
# Started by root, nginx would hand its workers to an unprivileged user that may not read the
# catalog or write the run folder; the tests keep them as the user who started it.
user=""
[ "$(id -u)" -eq 0 ] && user="user root;"
plain=""
[ -n "${PLAIN_LISTEN:-}" ] && plain="        listen $PLAIN_LISTEN;"
template=$(dirname "$0")/nginx.conf.in
awk -v user="$user" -v workers="${WORKERS:-auto}" -v run="$run" -v listen="$listen" -v cert="$cert" \
  -v key="$key" -v catalog="$catalog" -v upstreams="${upstreams%$'\n'}" -v plain="$plain" '
  { gsub(/@USER@/, user); gsub(/@PLAIN_LISTEN@/, plain); gsub(/@WORKERS@/, workers); gsub(/@RUN@/, run); gsub(/@LISTEN@/, listen)
    gsub(/@CERT@/, cert); gsub(/@KEY@/, key); gsub(/@CATALOG@/, catalog); gsub(/@UPSTREAMS@/, upstreams)
    print }' "$template" >"$out"
