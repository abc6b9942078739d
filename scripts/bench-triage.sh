#!/usr/bin/env bash
# kstool triage over many error reports: the native kstool, as an operator
# runs it on the report server, over reports that bench_triage makes with the
# starter's own report writer (failures naming their cause, failures only
# their log explains, crashes with a minidump; 30 days, three versions).
# Three rounds; the first and the median wall time. The counts triage
# prints must be the ones the reports were made with.
# Target: 100,000 reports in under 10 s.
# Usage: scripts/bench-triage.sh [reports]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

REPORTS=${1:-100000}
[ -f "$KS_NATIVE_BUILD/CMakeCache.txt" ] ||
  cmake -S "$KS_ROOT" -B "$KS_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake "$KS_NATIVE_BUILD" >/dev/null
cmake --build "$KS_NATIVE_BUILD" -j"$KS_JOBS" --target kstool bench_triage >/dev/null

ks_scratch
mkdir "$WORK/reports"
ks_log "making $REPORTS reports"
"$KS_NATIVE_BUILD/bench/bench_triage" "$WORK/reports" "$REPORTS" >"$WORK/expected.txt"
ks_log "$(du -sh "$WORK/reports" | cut -f1) in $REPORTS files; three rounds of kstool triage over them"
times=()
for round in 1 2 3; do
  start=$(date +%s%N)
  "$KS_NATIVE_BUILD/kstool" triage "$WORK/reports" >"$WORK/round-$round.txt"
  end=$(date +%s%N)
  times+=($(((end - start) / 1000000)))
done
head -n 1 "$WORK/round-1.txt"
# Each count the reports were made with, summed over the signatures that
# begin with it (a crash's signature goes on with its frames).
while read -r count prefix; do
  got=$(awk -v p="  $prefix" 'NR > 2 && index($0, p) > 0 { s += $1 } END { print s + 0 }' "$WORK/round-1.txt")
  [ "$got" = "$count" ] || { ks_log "triage counted $got reports of '$prefix', not $count"; exit 1; }
done <"$WORK/expected.txt"
python3 - "$REPORTS" "${times[@]}" <<'PY'
import statistics, sys
reports, times = int(sys.argv[1]), [int(t) for t in sys.argv[2:]]
median = statistics.median(times)
print(f"kstool triage over {reports} reports: first {times[0] / 1000:.2f} s, median of {len(times)} {median / 1000:.2f} s"
      f" ({median * 1000 / reports:.1f} us a report)")
print("target: 100,000 reports in under 10 s:", "met" if median * 100000 / reports < 10000 else "NOT met")
PY
