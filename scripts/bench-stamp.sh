#!/usr/bin/env bash
# Stamping per download: the native kstool stamping the release starter
# (signed with a throw-away certificate, as a server hands it out) from file
# to file after the signature, into an added certificate, and through
# standard input and output, beside cp of the same file, alternately in the
# same run. Every call writes a new file, as every download gets its own
# copy. Each round is many calls, process start included on both sides; the
# first round and the median of the rounds are printed.
# Target: every way of stamping at most 1.5 times the time of cp.
# Usage: scripts/bench-stamp.sh [rounds] [calls-per-round]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ROUNDS=${1:-7}
CALLS=${2:-100}

"$KS_ROOT/scripts/build.sh" KestrelonStarter
[ -f "$KS_NATIVE_BUILD/CMakeCache.txt" ] ||
  cmake -S "$KS_ROOT" -B "$KS_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$KS_NATIVE_BUILD" -j"$KS_JOBS" --target kstool >/dev/null
KSTOOL=$KS_NATIVE_BUILD/kstool

ks_scratch
cd "$WORK"
openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -nodes \
  -subj "/CN=Kestrelon Throwaway Bench Signing" >/dev/null 2>&1
osslsigncode sign -certs cert.pem -key key.pem -in "$KS_WIN_BUILD/KestrelonStarter.exe" -out starter.exe >/dev/null
cat >settings.txt <<'SETTINGS'
<__AccountServerIP__>meet.example.test</__AccountServerIP__>
<__AccountServerPort__>443</__AccountServerPort__>
<__MeetingId__>4711</__MeetingId__>
<__Role__>attendee</__Role__>
<__AttendeeName__>Ann Lee</__AttendeeName__>
<__StarterSid__>s-1234567890</__StarterSid__>
SETTINGS

way_cp() { cp starter.exe "out/$1.exe"; }
way_file() { "$KSTOOL" stamp --after-signature starter.exe settings.txt "out/$1.exe" >/dev/null; }
way_certificate() { "$KSTOOL" stamp --certificate starter.exe settings.txt "out/$1.exe" >/dev/null; }
way_stream() { "$KSTOOL" stamp --certificate - settings.txt - <starter.exe >"out/$1.exe"; }
WAYS=(cp file certificate stream)

# Nanoseconds per call, over CALLS calls of one way.
round() {
  local start end i
  rm -rf out && mkdir out
  start=$(date +%s%N)
  for i in $(seq 1 "$CALLS"); do "way_$1" "$i"; done
  end=$(date +%s%N)
  echo $(((end - start) / CALLS))
}

declare -A times
for way in "${WAYS[@]}"; do times[$way]=""; done
ks_log "$ROUNDS rounds of $CALLS calls, ways taken in turn: ${WAYS[*]}"
for _ in $(seq 1 "$ROUNDS"); do
  for way in "${WAYS[@]}"; do times[$way]+="$(round "$way") "; done
done

size=$(stat -c %s starter.exe)
python3 - "$size" "${times[cp]}" "${times[file]}" "${times[certificate]}" "${times[stream]}" <<'PY'
import statistics, sys
size = int(sys.argv[1])
cp, file, certificate, stream = ([int(x) for x in arg.split()] for arg in sys.argv[2:])
print(f"signed starter: {size} bytes; time per call, first round and median of {len(cp)} rounds")
print(f"{'':34}{'first':>8}{'median':>10}   ratio to cp (first, median)")
def row(name, times):
    return f"{name:34}{times[0] / 1e6:6.2f} ms{statistics.median(times) / 1e6:6.2f} ms"
print(row("cp", cp))
rows = [("kstool stamp --after-signature", file),
        ("kstool stamp --certificate", certificate),
        ("kstool stamp --certificate - -", stream)]
worst = 0.0
for name, times in rows:
    first, median = times[0] / cp[0], statistics.median(times) / statistics.median(cp)
    worst = max(worst, median)
    print(f"{row(name, times)}   {first:.2f} x, {median:.2f} x")
print("target: every way at most 1.5 x cp (medians):", "met" if worst <= 1.5 else f"NOT met ({worst:.2f} x)")
PY
