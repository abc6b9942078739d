#!/usr/bin/env bash
# Throughput of the package download beside curl saving the same URL to a
# file, from the same local "kstool serve" in the same run:
#  1. whole starter runs (the download a participant meets: a fresh process
#     and buffer, the window showing progress), through WinInet and through
#     the socket fetch, each run beside a curl run;
#  2. HLib::GetPage in counted mode, several rounds in one process (the first
#     round on a fresh buffer), through WinInet and the socket fetch.
# Prints MB/s (10^6 bytes per second) and ratios to curl: the first run or
# round and the median. Target: the starter at least 0.8 of curl (medians of
# the whole runs, on both paths). The server runs in a Wine prefix of its own
# (see ks_serve_apart), so the starter, like curl, shares no wineserver with
# it.
# Usage: scripts/bench-net.sh [size-in-MiB] [runs]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

SIZE_MIB=${1:-256}
RUNS=${2:-3}
SIZE=$((SIZE_MIB * 1024 * 1024))

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool bench_net_getpage bench_net_starter

ks_scratch

head -c "$SIZE" /dev/urandom > "$WORK/package.bin"
ks_display_up  # the starter shows its progress window
ks_wine_up
ks_serve_apart "$WORK/server" --package "$(ks_winpath "$WORK/package.bin")" --exit-after-seconds 1800
PORT=$KS_SERVE_PORT
PATH_QUERY="/as/wapi/get_client?client_type=0&client=pc"
URL="http://127.0.0.1:$PORT$PATH_QUERY"

# Two stamped starters, each in a folder of its own; no client is installed
# where they look, so they take the download road.
for path in wininet socket; do
  ks_stamp_starter "$WORK/$path" "$PORT" KsNetBench 9.9.3 sid-bench-net
done
# The socket starter's WinInet is given a proxy that refuses every
# connection (Wine's WinInet takes it from http_proxy).
declare -A STARTER_ENV=([wininet]="" [socket]="--env=http_proxy=http://127.0.0.1:1")

curl_seconds() {
  curl -s -o "$WORK/curl.bin" -w '%{time_total}' "$URL"
  rm -f "$WORK/curl.bin"
}

ks_log "whole starter runs beside curl saving to a file, $RUNS runs of $SIZE_MIB MiB"
: > "$WORK/runs.txt"
for run in $(seq 1 "$RUNS"); do
  for path in wininet socket; do
    c=$(curl_seconds)
    # shellcheck disable=SC2086
    if read -r s fetch < <(wine "$KS_WIN_BUILD/bench/bench_net_starter.exe" "Z:$WORK/$path/KestrelonStarter.exe" \
      ${STARTER_ENV[$path]} | tr -d '\r'); then
      echo "$run $path $c $s $fetch" >> "$WORK/runs.txt"
    else
      ks_log "run $run through $path: the starter's download did not complete"
    fi
    rm -rf "$WORK/$path/tmp"
  done
done

ks_log "HLib::GetPage counted download in one process, $RUNS rounds of $SIZE_MIB MiB per path"
: > "$WORK/rounds.txt"
for path in wininet socket; do
  c=$(curl_seconds)
  flag=""; [ "$path" = socket ] && flag=--socket
  # shellcheck disable=SC2086
  read -r first median < <(wine "$KS_WIN_BUILD/bench_net_getpage.exe" 127.0.0.1 "$PORT" "$PATH_QUERY" \
    "$SIZE" "$RUNS" $flag 2>/dev/null | tr -d '\r')
  echo "$path $c $first $median" >> "$WORK/rounds.txt"
done

python3 - "$SIZE" "$WORK/runs.txt" "$WORK/rounds.txt" <<'PY'
import statistics, sys
size = int(sys.argv[1])
rate = lambda seconds: size / float(seconds) / 1e6
runs = [line.split() for line in open(sys.argv[2]) if line.strip()]
print("whole starter, first download of each run (size known to download completed) beside curl to a file:")
print(f"{'run':>3} {'path':8} {'curl MB/s':>10} {'starter MB/s':>13} {'ratio':>6}   (download thread alone MB/s)")
met = True
for path in ("wininet", "socket"):
    rows = [r for r in runs if r[1] == path]
    if not rows:
        print(f"    {path:8} no run completed")
        met = False
        continue
    ratios = []
    for run, _, c, s, fetch in rows:
        ratios.append(rate(s) / rate(c))
        print(f"{run:>3} {path:8} {rate(c):10.1f} {rate(s):13.1f} {ratios[-1]:6.2f}   ({rate(fetch):.1f})")
    median = statistics.median(ratios)
    met = met and median >= 0.8
    print(f"    {path:8} first run ratio {ratios[0]:.2f}, median ratio {median:.2f}"
          f" (curl median {statistics.median(rate(r[2]) for r in rows):.1f} MB/s,"
          f" starter median {statistics.median(rate(r[3]) for r in rows):.1f} MB/s)")
print()
print("HLib::GetPage in one process beside curl to a file:")
for path, c, first, median in (line.split() for line in open(sys.argv[3]) if line.strip()):
    c = rate(c)
    print(f"    {path:8} curl {c:7.1f} MB/s   first round {float(first):7.1f} MB/s (ratio {float(first) / c:.2f})"
          f"   median round {float(median):7.1f} MB/s (ratio {float(median) / c:.2f})")
print("target: the whole starter at least 0.8 of curl (median ratio, both paths):", "met" if met else "NOT met")
PY
