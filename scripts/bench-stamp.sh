#!/usr/bin/env bash
# Stamping per download, beside cp of the same file; every call writes a new
# file, as every download gets its own copy, and process start counts on
# both sides. Two measurements:
#  - single calls: 11 runs (after a warm-up) of the native kstool stamping
#    the release starter from file to file, each beside a cp of it in the
#    same folder, in turn; the medians and their ratio;
#  - rounds of many calls: the release starter signed with a throw-away
#    certificate, as a server hands it out, stamped from file to file, into
#    an added certificate, and through standard input and output; the first
#    round and the median of the rounds.
# Target: at most 1.5 times the time of cp (medians), in both.
# Usage: scripts/bench-stamp.sh [rounds] [calls-per-round] [kstool ...]
#   Other native kstool programs given (say one built before a change) take
#   their turn in the single calls too.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ROUNDS=${1:-7}
CALLS=${2:-100}
shift 2 || shift $# || true
OTHERS=("$@")

"$KS_ROOT/scripts/build.sh" KestrelonStarter
[ -f "$KS_NATIVE_BUILD/CMakeCache.txt" ] ||
  cmake -S "$KS_ROOT" -B "$KS_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$KS_NATIVE_BUILD" -j"$KS_JOBS" --target kstool >/dev/null
KSTOOL=$KS_NATIVE_BUILD/kstool

ks_scratch
cd "$WORK"
cp "$KS_WIN_BUILD/KestrelonStarter.exe" release.exe
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

ks_log "single calls: 11 runs, cp and kstool stamp of the release starter in turn"
python3 - "$KSTOOL" "${OTHERS[@]}" <<'PY'
import os, statistics, sys, time

tools = sys.argv[1:]
null = os.open(os.devnull, os.O_WRONLY)
os.makedirs("single", exist_ok=True)


def run(argv):
    """Wall time of one call, and the processor time it took (steadier on a busy machine)."""
    started = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        raise SystemExit(f"{' '.join(argv)} failed")
    return time.perf_counter() - started, usage.ru_utime + usage.ru_stime


def median(times, i):
    return statistics.median(t[i] for t in times)


cp, stamp = [], [[] for _ in tools]
for number in range(12):  # the first is a warm-up
    times = [run(["cp", "release.exe", f"single/cp-{number}.exe"])]
    for i, tool in enumerate(tools):
        times.append(run([tool, "stamp", "release.exe", "settings.txt", f"single/stamp{i}-{number}.exe"]))
    if number > 0:
        cp.append(times[0])
        for i in range(len(tools)):
            stamp[i].append(times[i + 1])
size = os.path.getsize("release.exe")
print(f"release starter: {size} bytes; medians of 11 runs after a warm-up, wall time and processor time")
print(f"{'cp':52}{median(cp, 0) * 1e3:6.2f} ms{median(cp, 1) * 1e3:8.2f} ms")
for i, tool in enumerate(tools):
    name = "kstool stamp, file to file" + ("" if i == 0 else f" ({tool})")
    print(f"{name:52}{median(stamp[i], 0) * 1e3:6.2f} ms{median(stamp[i], 1) * 1e3:8.2f} ms"
          f"   {median(stamp[i], 0) / median(cp, 0):.2f} x cp, {median(stamp[i], 1) / median(cp, 1):.2f} x cp")
ratio = median(stamp[0], 0) / median(cp, 0)
print("target: at most 1.5 x cp (medians of the wall time):", "met" if ratio <= 1.5 else f"NOT met ({ratio:.2f} x)")
PY

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
