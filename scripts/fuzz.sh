#!/usr/bin/env bash
# Runs the fuzz targets (tests/fuzz/*_fuzz.cpp) as libFuzzer programs with
# ASan and UBSan, in a clang build tree of their own ($KS_BUILD_ROOT/fuzz).
#   scripts/fuzz.sh [seconds-per-target] [target...]
# Default: every target for 600 s (a deeper search); the test command runs
# them for 60 s each. Two targets run at a time. Each works on a scratch copy
# of its checked-in seeds and findings, so the corpus in the repository never
# changes. Exits non-zero when any target finds a crash, leak, timeout or
# broken property; the input is kept under $KS_BUILD_ROOT/fuzz/runs/<name>/.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

SECONDS_PER_TARGET=${1:-600}
shift || true
case "$SECONDS_PER_TARGET" in '' | *[!0-9]*) ks_log "usage: scripts/fuzz.sh [seconds-per-target] [target...]"; exit 2 ;; esac

FUZZ_SRC=$KS_ROOT/tests/fuzz
FUZZ_BUILD=$KS_BUILD_ROOT/fuzz
RUNS=$FUZZ_BUILD/runs

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$FUZZ_SRC"/*_fuzz.cpp; do
    n=$(basename "$f" _fuzz.cpp)
    targets+=("$n")
  done
fi
for t in "${targets[@]}"; do
  [ -f "$FUZZ_SRC/${t}_fuzz.cpp" ] || { ks_log "no fuzz target '$t'"; exit 2; }
done

# Largest input and memory per target: archives and replies need room for a
# few entries or a full first block; texts stay small so the search stays
# where the parsers branch.
max_len() {
  case "$1" in
    socket_reply) echo 140000 ;;
    package | error_report) echo 16384 ;;
    minidump | starter_log) echo 8192 ;;
    embedded_block) echo 16384 ;;
    settings_certificate | package_signature) echo 8192 ;;
    meeting_query) echo 6144 ;;
    *) echo 4096 ;;
  esac
}
rss_limit() {
  case "$1" in
    socket_reply | package) echo 1536 ;;
    # The readers of what anyone can post are bounded whatever the input: low
    # enough that a crafted dump or report read at the cost it asks for (see
    # regressions/<name>) is caught; a single allocation past it is, at once.
    minidump | error_report) echo 256 ;;
    *) echo 1024 ;;
  esac
}

"$KS_ROOT/scripts/setup.sh"

if [ ! -f "$FUZZ_BUILD/CMakeCache.txt" ]; then
  ks_log "configuring the fuzz build in $FUZZ_BUILD"
  CC=clang CXX=clang++ cmake -S "$KS_ROOT" -B "$FUZZ_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKS_FUZZ=ON >/dev/null
else
  cmake "$FUZZ_BUILD" >/dev/null
fi
ks_log "building ${#targets[@]} fuzz targets"
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
cmake --build "$FUZZ_BUILD" -j"$KS_JOBS" --target "${build_targets[@]}" >"$FUZZ_BUILD/build.log" 2>&1 || {
  tail -40 "$FUZZ_BUILD/build.log" >&2
  ks_log "fuzz build failed (see $FUZZ_BUILD/build.log)"
  exit 1
}

# Runs one target; its summary line goes to $RUNS/<name>/summary.
run_target() {
  local name=$1
  local dir=$RUNS/$name
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  for seeds in "$FUZZ_SRC/corpus/$name" "$FUZZ_SRC/regressions/$name"; do
    if [ -d "$seeds" ]; then cp -p "$seeds"/* "$dir/corpus/" 2>/dev/null || true; fi
  done
  local dict=()
  if [ -f "$FUZZ_SRC/$name.dict" ]; then dict=(-dict="$FUZZ_SRC/$name.dict"); fi
  local rc=0
  # ASan keeps freed memory aside (256 MiB by default) to catch its later
  # use; under a low memory limit, less of it, or the limit measures that.
  if [ "$(rss_limit "$name")" -lt 1024 ]; then export ASAN_OPTIONS=quarantine_size_mb=32; fi
  # The saved findings first, each read whole (the search cuts its inputs to
  # max_len), under the same memory limit.
  if compgen -G "$FUZZ_SRC/regressions/$name/*" >/dev/null; then
    "$FUZZ_BUILD/fuzz/fuzz_$name" -rss_limit_mb="$(rss_limit "$name")" -timeout=20 -artifact_prefix="$dir/artifacts/" \
      "$FUZZ_SRC/regressions/$name"/* >"$dir/log.txt" 2>&1 || rc=$?
  fi
  if [ "$rc" -eq 0 ]; then
    "$FUZZ_BUILD/fuzz/fuzz_$name" "${dict[@]}" -max_total_time="$SECONDS_PER_TARGET" \
      -max_len="$(max_len "$name")" -rss_limit_mb="$(rss_limit "$name")" -timeout=20 \
      -artifact_prefix="$dir/artifacts/" -print_final_stats=1 "$dir/corpus" >>"$dir/log.txt" 2>&1 || rc=$?
  fi
  local runs rate files result
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.txt" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log.txt" | tail -1)
  files=$(find "$dir/corpus" -type f | wc -l)
  local found
  found=$(find "$dir/artifacts" -type f | head -1)
  if [ "$rc" -eq 0 ] && [ -z "$found" ]; then
    result="ok"
  else
    result="FOUND (exit $rc) ${found:-no input saved}; log $dir/log.txt"
  fi
  printf '%-18s runs %-10s exec/s %-7s corpus %-5s %s\n' "$name" "${runs:-?}" "${rate:-?}" "$files" "$result" \
    >"$dir/summary"
  [ "$result" = "ok" ]
}

ks_log "fuzzing ${#targets[@]} targets for ${SECONDS_PER_TARGET}s each, two at a time"
declare -A pids=()
failed=0
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  run_target "$t" &
  pids[$t]=$!
done
for t in "${targets[@]}"; do
  wait "${pids[$t]}" || failed=1
done

for t in "${targets[@]}"; do
  if [ -f "$RUNS/$t/summary" ]; then cat "$RUNS/$t/summary"; else echo "$t: no summary"; failed=1; fi
  grep -q ' ok$' "$RUNS/$t/summary" 2>/dev/null || failed=1
done
if [ "$failed" -ne 0 ]; then
  ks_log "fuzzing found a problem: reproduce with $FUZZ_BUILD/fuzz/fuzz_<name> <input>, then save the input under tests/fuzz/regressions/<name>/"
  exit 1
fi
ks_log "fuzzing found nothing"
