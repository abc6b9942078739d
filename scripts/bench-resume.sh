#!/usr/bin/env bash
# What a cut download costs: the package bytes the account server sent for
# an install, beside the package's size, with the download cut once at 90 %:
#   1. one run, cut on its first road (the plain WinInet request): the next
#      road, the socket fetch, asks for the rest;
#   2. two runs: the first cut at 90 % on every road, the participant tries
#      again, and the second run asks for the rest;
#   3. as 1, against a server that sends no validator: the next road takes
#      the package whole again (what every cut cost before).
# A package of the field's size (the stand-in installer and SIZE_MIB of bytes
# that do not compress) from a local "kstool serve"; each install runs to the
# launcher's start. Target: case 1 at most 1.1 times the package.
# Usage: scripts/bench-resume.sh [size-in-MiB]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

SIZE_MIB=${1:-24}

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool standins bench_resume

ks_scratch
mkdir -p "$WORK/package/Kestrelon"
cp "$KS_WIN_BUILD/standins/KSInstaller.exe" "$WORK/package/"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom >"$WORK/package/payload.bin"
echo "9.9.4" >"$WORK/package/Kestrelon/version.txt"
ks_display_up
ks_wine_up
wine "$KS_WIN_BUILD/kstool.exe" pack "$(ks_winpath "$WORK/package")" "$(ks_winpath "$WORK/client.pkg")" >/dev/null
SIZE=$(stat -c %s "$WORK/client.pkg")
CUT=$((SIZE * 9 / 10))
PACKAGE=$(ks_winpath "$WORK/client.pkg")

# Package bytes a server logged to its sent log ($1).
sent() { awk '$2 == "/as/wapi/get_client" { n += $1 } END { print n + 0 }' "$1" 2>/dev/null || echo 0; }

# One install by a freshly stamped starter in folder $1 against port $2;
# prints the run's outcome.
run() {
  ks_stamp_starter "$1" "$2" Kestrelon 9.9.4 sid-bench-resume
  wine "$KS_WIN_BUILD/bench/bench_resume.exe" "$(ks_winpath "$1/KestrelonStarter.exe")" | tr -d '\r'
}

# The sockets' User-Agent alone names this: refused, the socket fetch cannot
# complete a first run cut on its WinInet road.
SOCKET_AGENT="MSIE 6.0"
: >"$WORK/results.txt"

ks_log "1. one run, cut once at 90 % of $SIZE bytes on its first road"
ks_serve "$WORK/s1" --package "$PACKAGE" --etag one --cut-at "$CUT" --cut-replies 1 \
  --sent-log "$(ks_winpath "$WORK/s1/sent.log")" --exit-after-seconds 900
outcome=$(run "$WORK/r1" "$KS_SERVE_PORT")
echo "one-run $outcome $(sent "$WORK/s1/sent.log")" >>"$WORK/results.txt"
ks_serve_down

ks_log "2. cut at 90 % on every road, then the next run"
ks_serve "$WORK/s2a" --package "$PACKAGE" --etag two --cut-at "$CUT" --refuse-agent "$SOCKET_AGENT" \
  --sent-log "$(ks_winpath "$WORK/s2a/sent.log")" --exit-after-seconds 900
PORT=$KS_SERVE_PORT
first=$(run "$WORK/r2" "$PORT")
ks_serve_down
ks_serve "$WORK/s2b" --port "$PORT" --package "$PACKAGE" --etag two \
  --sent-log "$(ks_winpath "$WORK/s2b/sent.log")" --exit-after-seconds 900
second=$(run "$WORK/r2" "$PORT")
echo "two-runs $first,$second $(($(sent "$WORK/s2a/sent.log") + $(sent "$WORK/s2b/sent.log")))" >>"$WORK/results.txt"
ks_serve_down

ks_log "3. as 1, without a validator"
ks_serve "$WORK/s3" --package "$PACKAGE" --cut-at "$CUT" --cut-replies 1 \
  --sent-log "$(ks_winpath "$WORK/s3/sent.log")" --exit-after-seconds 900
outcome=$(run "$WORK/r3" "$KS_SERVE_PORT")
echo "no-validator $outcome $(sent "$WORK/s3/sent.log")" >>"$WORK/results.txt"
ks_serve_down

python3 - "$SIZE" "$WORK/results.txt" <<'PY'
import sys
size = int(sys.argv[1])
names = {"one-run": "one run, cut once on its first road",
         "two-runs": "cut, then tried again (two runs)",
         "no-validator": "one run, cut once, no validator"}
print(f"package: {size} bytes")
print(f"{'install':38} {'outcome':22} {'bytes fetched':>14} {'x package':>10}")
met = False
for name, outcome, fetched in (line.split() for line in open(sys.argv[2]) if line.strip()):
    ratio = int(fetched) / size
    print(f"{names[name]:38} {outcome:22} {int(fetched):14d} {ratio:10.2f}")
    if name == "one-run":
        met = outcome == "installed" and ratio <= 1.1
print("target: one run with one cut fetches at most 1.1 times the package:", "met" if met else "NOT met")
PY
