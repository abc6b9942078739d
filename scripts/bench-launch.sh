#!/usr/bin/env bash
# Launch road: time from the starter's start to the client's start when the
# wanted client version is installed and current, beside the time Wine takes
# to start and end a trivial program, alternately in the same run. The
# starter is stamped to report the installation to a local "kstool serve".
# Prints the medians and the first round, with where the starter's time goes.
# Target: the starter adds at most 80 ms to the baseline (medians).
# Usage: scripts/bench-launch.sh [rounds]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ROUNDS=${1:-20}
VERSION=9.9.1

"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool standins bench_launch

ks_scratch

ks_display_up  # the launch road opens the progress window
ks_wine_up
ks_serve "$WORK/server" --exit-after-seconds 900
PORT=$KS_SERVE_PORT

ks_stamp_starter "$WORK/run" "$PORT" Kestrelon "$VERSION" sid-bench-launch

ks_log "launch road, $ROUNDS rounds"
wine "$KS_WIN_BUILD/bench/bench_launch.exe" "Z:$WORK/run/KestrelonStarter.exe" \
  "Z:$KS_WIN_BUILD/standins/Kestrelon.exe" "Z:$KS_WIN_BUILD/bench/bench_trivial.exe" "$VERSION" "$ROUNDS"
