#!/usr/bin/env bash
# Every benchmark in turn, each printing its figures beside the reference it
# measured in the same run:
#   net      the starter's download beside curl saving to a file (bench-net.sh)
#   package  CZLib::UnZip beside a large-buffer reference         (bench-package.sh)
#   memory   the starter's peak memory downloading and unpacking (bench-memory.sh)
#   launch   the starter's start to the client's start           (bench-launch.sh)
#   stamp    the native kstool stamping a copy per download beside cp (bench-stamp.sh)
#   resume   the package bytes an install with a cut download fetches (bench-resume.sh)
#   triage   the native kstool triage over 100,000 error reports      (bench-triage.sh)
# Builds what they need first; leaves no Wine process, server or display
# running. Names given as arguments run only those benchmarks.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

BENCHMARKS=("$@")
[ ${#BENCHMARKS[@]} -gt 0 ] || BENCHMARKS=(net package memory launch stamp resume triage)

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool standins bench_net_getpage bench_net_starter bench_package bench_memory \
  bench_launch bench_resume

cleanup() { ks_wine_down; ks_display_down; }
trap cleanup EXIT
# One display for all of them, up before any Wine program runs: Wine's
# desktop process takes the display it finds when it starts.
ks_display_up

failed=()
for name in "${BENCHMARKS[@]}"; do
  echo
  ks_log "benchmark: $name"
  if ! "$KS_ROOT/scripts/bench-$name.sh"; then
    failed+=("$name")
  fi
done
echo
if [ ${#failed[@]} -gt 0 ]; then
  ks_log "benchmarks that did not run through: ${failed[*]}"
  exit 1
fi
ks_log "all benchmarks ran: ${BENCHMARKS[*]}"
