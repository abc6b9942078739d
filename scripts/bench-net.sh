#!/usr/bin/env bash
# Throughput of the package download: HLib::GetPage in counted mode fetching
# 256 MiB from "kstool serve" (both under Wine), beside curl (native) fetching
# the same URL from the same server in the same run. Prints MB/s (10^6 bytes
# per second) for both and their ratio. Target: GetPage at least half of curl.
# Usage: scripts/bench-net.sh [size-in-MiB] [rounds]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

SIZE_MIB=${1:-256}
ROUNDS=${2:-3}
SIZE=$((SIZE_MIB * 1024 * 1024))

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh" kstool bench_net_getpage

ks_scratch

head -c "$SIZE" /dev/urandom > "$WORK/package.bin"
ks_wine_up
ks_serve "$WORK/server" --package "$(ks_winpath "$WORK/package.bin")" --exit-after-seconds 900
PORT=$KS_SERVE_PORT
PATH_QUERY="/as/wapi/get_client?client_type=0&client=pc"
URL="http://127.0.0.1:$PORT$PATH_QUERY"

ks_log "curl, $ROUNDS rounds of $SIZE_MIB MiB"
CURL_BEST=0
for _ in $(seq 1 "$ROUNDS"); do
  rate=$(curl -s -o /dev/null -w '%{speed_download}' "$URL")
  CURL_BEST=$(python3 -c "print(max($CURL_BEST, $rate / 1e6))")
done

ks_log "HLib::GetPage counted download, $ROUNDS rounds of $SIZE_MIB MiB"
read -r GETPAGE_FIRST GETPAGE_BEST < <(wine "$KS_WIN_BUILD/bench_net_getpage.exe" 127.0.0.1 "$PORT" "$PATH_QUERY" \
  "$SIZE" "$ROUNDS" 2>/dev/null | tr -d '\r')

python3 - "$CURL_BEST" "$GETPAGE_FIRST" "$GETPAGE_BEST" <<'PY'
import sys
curl, first, best = (float(x) for x in sys.argv[1:])
print(f"curl (native)            : {curl:8.1f} MB/s")
print(f"HLib::GetPage (best)     : {best:8.1f} MB/s   ratio {best / curl:.2f}")
print(f"HLib::GetPage (1st round): {first:8.1f} MB/s   ratio {first / curl:.2f}  (fresh buffer)")
print("target: GetPage at least 0.5 of curl:", "met" if best >= 0.5 * curl else "NOT met")
PY
