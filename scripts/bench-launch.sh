#!/usr/bin/env bash
# Launch road: the time a participant waits when the wanted client version is
# installed and current, measured two ways, each beside a trivial program
# alternately in the same run:
#  - from the host, as a participant meets it: the starter started with
#    `wine`, the clock stopped when the client stand-in has written its first
#    file. The starter adds that time less twice the time the trivial program
#    takes from `wine` to its first file (a program start for the starter and
#    one for the client);
#  - inside Wine (bench_launch): the system's process records, the starter's
#    creation to the client's creation beside the trivial program's start to
#    end, with where the starter's time goes, read from its log.
# A program holding a hidden window runs throughout, so that Wine's desktop
# process does not start and end with every starter's window (on Windows it
# always runs). The starter is signed with a throw-away certificate and
# stamped to report the installation to a local "kstool serve", as a server
# hands it out. Prints the medians (and the first round).
# Target: the starter adds at most 80 ms (medians).
# Usage: scripts/bench-launch.sh [rounds] [starter.exe ...]
#   Starters given (other builds, say the one before a change) are measured
#   side by side, in turn in every round; by default the build's own.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ROUNDS=${1:-20}
shift || true
STARTERS=("$@")
[ ${#STARTERS[@]} -gt 0 ] || STARTERS=("$KS_WIN_BUILD/KestrelonStarter.exe")
VERSION=9.9.1

"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool standins bench_launch

ks_scratch

ks_display_up  # the launch road opens the progress window
ks_wine_up
ks_serve "$WORK/server" --exit-after-seconds 1800
PORT=$KS_SERVE_PORT

wine "$KS_WIN_BUILD/bench/bench_trivial.exe" --hidden-window --wait-ms=1800000 </dev/null >/dev/null 2>&1 &
HIDDEN_WINDOW=$!

openssl req -x509 -newkey rsa:2048 -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 -nodes \
  -subj "/CN=Kestrelon Throwaway Bench Signing" >/dev/null 2>&1

# One folder per starter: the signed and stamped copy, the installed client
# beside it (Kestrelon\version.txt and the stand-in), "tmp" for its temporary
# files and "records" for the stand-in's start record.
RUNS=()
for i in "${!STARTERS[@]}"; do
  run=$WORK/run$i
  mkdir -p "$run/Kestrelon" "$run/tmp" "$run/records"
  osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -in "${STARTERS[$i]}" -out "$run/signed.exe" >/dev/null
  ks_stamp_starter "$run" "$PORT" Kestrelon "$VERSION" sid-bench-launch "$run/signed.exe"
  printf '%s' "${STARTERS[$i]}" >"$run/starter-name.txt"
  cp "$KS_WIN_BUILD/standins/Kestrelon.exe" "$run/Kestrelon/"
  printf '%s\r\n' "$VERSION" >"$run/Kestrelon/version.txt"
  RUNS+=("$run")
done

ks_log "launch road from the host, $ROUNDS rounds"
python3 - "$ROUNDS" "$KS_WIN_BUILD/bench/bench_trivial.exe" "$WORK" "${RUNS[@]}" <<'PY'
import os, statistics, subprocess, sys, time

rounds, trivial, work, runs = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
STATUS_N = "<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>"
CLIENT_LIFETIME_MS = 300


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def start(command, **options):
    return subprocess.Popen(["wine"] + command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, **options)


def appeared(path, started, limit=60.0):
    """Seconds from `started` until `path` exists (polled every 0.5 ms)."""
    while not os.path.exists(path):
        if time.perf_counter() - started > limit:
            raise SystemExit(f"{path} did not appear within {limit:.0f} s")
        time.sleep(0.0005)
    return time.perf_counter() - started


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def trivial_round():
    touched = os.path.join(work, "trivial-touched")
    remove(touched)
    started = time.perf_counter()
    program = start([trivial, "--touch=" + windows_path(touched)])
    seconds = appeared(touched, started)
    program.wait()
    return seconds


def starter_round(run):
    record = os.path.join(run, "records", "standin_Kestrelon.txt")
    remove(record)
    with open(os.path.join(run, "Kestrelon", "setup_status.txt"), "w") as status:
        status.write(STATUS_N)
    # Wine gives its programs the prefix's temporary folder whatever the
    # host's TMP says: the starter logs there, as a participant's would.
    environment = dict(os.environ, KS_STANDIN_DIR=windows_path(os.path.join(run, "records")),
                       KS_STANDIN_LIFETIME_MS=str(CLIENT_LIFETIME_MS))
    started = time.perf_counter()
    starter = start([os.path.join(run, "KestrelonStarter.exe")], cwd=run, env=environment)
    to_client = ended = None
    while to_client is None or ended is None:
        now = time.perf_counter() - started
        if to_client is None and os.path.exists(record):
            to_client = now
        if ended is None and starter.poll() is not None:
            ended = now
        if now > 300:
            raise SystemExit(f"the starter in {run} did not start its client and end within 300 s")
        time.sleep(0.0005)
    with open(record, encoding="utf-8", errors="replace") as recorded:
        expected = f"<__WorkingDirectory__>{windows_path(run)}\\Kestrelon</__WorkingDirectory__>"
        if expected.lower() not in recorded.read().lower():
            raise SystemExit(f"a client other than the one beside {run} was started: see {record}")
    # The client ends by itself before the next measurement begins.
    time.sleep(max(0.0, to_client + (CLIENT_LIFETIME_MS + 200) / 1e3 - (time.perf_counter() - started)))
    return to_client, ended


trivials, to_client, to_end = [], [[] for _ in runs], [[] for _ in runs]
print(f"launch road from the host: {rounds} rounds after one warm-up round, "
      f"trivial program and {'starter' if len(runs) == 1 else 'each starter'} in turn")
for number in range(rounds + 1):
    seconds = [trivial_round()] + [starter_round(run) for run in runs]
    line = f"round {number:2d}  trivial program to its first file {seconds[0] * 1e3:7.1f} ms"
    for i, (client, end) in enumerate(seconds[1:]):
        line += f"   starter{'' if len(runs) == 1 else ' ' + str(i + 1)} to client's first file {client * 1e3:7.1f} ms" \
                f" (ended after {end * 1e3:7.1f} ms)"
        if number > 0:
            to_client[i].append(client)
            to_end[i].append(end)
    if number > 0:
        trivials.append(seconds[0])
    print(line + ("  (warm-up)" if number == 0 else ""), flush=True)

trivial = statistics.median(trivials)
print(f"\n{'':56}{'median':>9}{'round 1':>10}")
print(f"{'wine to the trivial program first file':56}{trivial * 1e3:6.1f} ms{trivials[0] * 1e3:7.1f} ms")
for i, run in enumerate(runs):
    with open(os.path.join(run, "starter-name.txt")) as named:
        name = "" if len(runs) == 1 else f" {i + 1} ({named.read()})"
    client = statistics.median(to_client[i])
    added = client - 2 * trivial
    print(f"starter{name}:")
    print(f"{'  wine to the client first file':56}{client * 1e3:6.1f} ms{to_client[i][0] * 1e3:7.1f} ms")
    print(f"{'  added by the starter (less twice the trivial program)':56}{added * 1e3:6.1f} ms"
          f"{(to_client[i][0] - 2 * trivials[0]) * 1e3:7.1f} ms")
    print(f"{'  (wine to the starter own end)':56}{statistics.median(to_end[i]) * 1e3:6.1f} ms"
          f"{to_end[i][0] * 1e3:7.1f} ms")
    print(f"  target: the starter adds at most 80 ms (medians): {'met' if added <= 0.080 else 'NOT met'}")
PY

for i in "${!RUNS[@]}"; do
  echo
  ks_log "launch road inside Wine, $ROUNDS rounds: ${STARTERS[$i]}"
  wine "$KS_WIN_BUILD/bench/bench_launch.exe" "Z:${RUNS[$i]}/KestrelonStarter.exe" \
    "Z:$KS_WIN_BUILD/standins/Kestrelon.exe" "Z:$KS_WIN_BUILD/bench/bench_trivial.exe" "$VERSION" "$ROUNDS"
done
kill "$HIDDEN_WINDOW" 2>/dev/null || true
