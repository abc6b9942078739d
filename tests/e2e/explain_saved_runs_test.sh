#!/usr/bin/env bash
# kstool explain over what real whole-starter runs left: the logs the e2e,
# failure-road and start-up tests kept (one per way a run ends) and the
# report of the crash test, all in <build>/tests/explained (CTest runs those
# tests first), and the logs kept in kept_runs/ (a real run whose two
# requests' records interleave as they happened to, kept so that this order
# is read every time). Each must be explained with the right first line and show the
# road the run took; the report names its exception and the crashed module,
# and --extract gives back its log and a minidump, also when its dump is
# damaged; walked with the crashing program's build (--symbols), its stack
# names the crashing function on top and its caller beneath, with file and
# line from the native kstool; a failure report names the cause its log
# shows. kstool triage groups reports made of them by the right causes.
# Arguments: the Windows build folder (build/win) and the native kstool;
# WINEPREFIX names the test prefix.
set -euo pipefail
build=$1
native_kstool=$2
kept=$build/tests/explained
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
explain() { wine "$build/kstool.exe" explain "$@" </dev/null 2>"$work/stderr" | tr -d '\r'; }

# saved run | first line | a line (extended regex) the explanation must hold
while IFS='|' read -r name first shown; do
  name=$(echo "$name" | xargs) first=$(echo "$first" | sed 's/^ *//;s/ *$//') shown=$(echo "$shown" | sed 's/^ *//;s/ *$//')
  [ -n "$name" ] || continue
  log=$kept/$name.txt
  [ -f "$here/kept_runs/$name.txt" ] && log=$here/kept_runs/$name.txt
  if [ ! -s "$log" ]; then
    fail "$name: no saved log (its test did not run or did not keep it)"
    continue
  fi
  out=$(explain "$(winpath "$log")") || { fail "$name: kstool explain failed: $(cat "$work/stderr")"; continue; }
  [ "$(head -n 1 <<<"$out")" = "$first" ] || fail "$name: first line '$(head -n 1 <<<"$out")', not '$first'"
  grep -Eq -- "$shown" <<<"$out" || fail "$name: no line like '$shown' in:
$out"
done <<'TABLE'
registered-only            | outcome: registered-only            | ^registered: URL protocol Kestrelon$
launched-client            | outcome: launched-client            | ^started: ".*\\Kestrelon\.exe" --program .*rsp1024hcmd\.txt \(in .*\): started$
started-installer          | outcome: started-installer          | ^road: /as/wapi/get_client: plain WinInet request: ok$
failed-server-unreachable  | outcome: failed: server-unreachable | ^road: /as/wapi/get_client_size: socket fallback: failed: connect\(\) failed
failed-server-unreachable-beside-report | outcome: failed: server-unreachable | ^road: /as/wapi/get_client_size: socket fallback: failed: connect\(\) failed
failed-server-unreachable-interleaved | outcome: failed: server-unreachable | ^road: /as/wapi/get_client_size: socket fallback: failed: connect\(\) failed
started-installer-through-proxy | outcome: started-installer  | ^road: /as/wapi/(get_client_size|ssi): L system settings \(credentials typed and kept\): ok$
failed-proxy-refused       | outcome: failed: proxy-refused      | ^road: /as/wapi/get_client_size: L system settings: read the page that asked for credentials$
failed-no-answer           | outcome: failed: no-answer          | ^road: /as/wapi/get_client: socket fallback: failed: recv\(\) iReturn == -1, error code: 10060
failed-bad-size            | outcome: failed: bad-size           | ^because: Failed to download client from: .*sDownloadSize = unknown$
failed-incomplete-download | outcome: failed: incomplete-download | ^size: asked [0-9]+ bytes, received [0-9]+ bytes
failed-package-refused     | outcome: failed: package-refused    | ^because: Refused package .*PCClient\.zip \(no signature
failed-disk                | outcome: failed: disk               | ^window: message box "Unable to save the download file", then "Download is incomplete
failed-link-unreadable     | outcome: failed: link-unreadable    | ^because: Utility::DecryptQuery\(\) failed\.
failed-interrupted         | outcome: failed: interrupted        | ^window: "Downloading Kestrelon \.\.\." with the progress$
crash-report-log           | outcome: failed: interrupted        | ^because: the log ends with: crasher ready, mode main$
TABLE

# The crash test's report: its facts, the crash, and the attachments back.
report=$kept/crash-report.txt
if [ ! -s "$report" ]; then
  fail "crash-report: no saved report"
else
  out=$(explain "$(winpath "$report")") || fail "crash-report: kstool explain failed: $(cat "$work/stderr")"
  [ "$(head -n 1 <<<"$out")" = "report: ks_crasher.exe" ] || fail "crash-report: first line '$(head -n 1 <<<"$out")'"
  grep -Eq '^exception: 0xC0000005 EXCEPTION_ACCESS_VIOLATION at 0x[0-9A-F]{16}' <<<"$out" ||
    fail "crash-report: no exception line in:
$out"
  grep -Eq '^module: .*\\ks_crasher\.exe.* \+0x[0-9A-F]+$' <<<"$out" || fail "crash-report: the crashed module is not named in:
$out"
  grep -Eq '^threads: [1-9][0-9]*$' <<<"$out" || fail "crash-report: no thread count"
  mkdir "$work/extracted"
  explain --extract "$(winpath "$work/extracted")" "$(winpath "$report")" >/dev/null ||
    fail "crash-report: --extract failed: $(cat "$work/stderr")"
  cmp -s "$work/extracted/KSSetup.txt" "$kept/crash-report-log.txt" || fail "crash-report: the extracted log differs"
  [ "$(head -c 4 "$work/extracted/crash.dmp" 2>/dev/null)" = "MDMP" ] || fail "crash-report: the extracted dump is no minidump"

  # The crasher's stack walked with its build (the tests folder holds it, and
  # many programs that are no build of it): the crashing function from its
  # symbols, then its caller by the unwind table. kstool.exe runs no
  # addr2line; the native kstool adds file and line.
  top='^frame: #0 ks_crasher\.exe \+0x[0-9A-F]+ \(anonymous namespace\)::AccessViolation\(\)\+0x[0-9A-F]+'
  caller='^frame: #1 ks_crasher\.exe \+0x[0-9A-F]+ main\+0x[0-9A-F]+'
  out=$(explain --symbols "$(winpath "$build/tests")" "$(winpath "$report")") ||
    fail "crash-report: kstool explain --symbols failed: $(cat "$work/stderr")"
  grep -Eq "$top \(context\)\$" <<<"$out" && grep -Eq "$caller \(unwind table\)\$" <<<"$out" ||
    fail "crash-report: the walked stack does not name the crash and its caller:
$(grep '^frame' <<<"$out")"
  out=$("$native_kstool" explain --symbols "$build/tests" "$report" 2>"$work/stderr") ||
    fail "crash-report: the native kstool explain --symbols failed: $(cat "$work/stderr")"
  grep -Eq "$top at .*crash_fixture_main_win\.cpp:[0-9]+ \(context\)\$" <<<"$out" &&
    grep -Eq "$caller at .*crash_fixture_main_win\.cpp:[0-9]+ \(unwind table\)\$" <<<"$out" ||
    fail "crash-report: the native walk gives no source lines:
$(grep '^frame' <<<"$out")"
  # Without the build, frames are found by the fallbacks and marked so.
  out=$(explain "$(winpath "$report")")
  grep -Eq '^frame: #1 .*\((frame pointer|stack scan) \(fallback\)\)$' <<<"$out" ||
    fail "crash-report: a walk without builds is not marked as a fallback:
$(grep '^frame' <<<"$out")"
fi

# A failure report the starter posted itself (tests_e2e): its last error
# names the cause that the explanation of the log it carries arrives at.
posted=$kept/failure-report.txt
if [ ! -s "$posted" ]; then
  fail "failure-report: no saved report"
else
  out=$(explain "$(winpath "$posted")") || fail "failure-report: kstool explain failed: $(cat "$work/stderr")"
  for line in 'last error: 0: server-unreachable' 'dump: none (no file)' 'outcome: failed: server-unreachable'; do
    grep -qx -- "$line" <<<"$out" || fail "failure-report: no line '$line' in:
$out"
  done
fi

# The crash report with its dump damaged: what reads is still explained and
# extracted. "garbled": the dump inflates whole but is no minidump; "cut": its
# zlib stream ends early, so it is not written.
damaged() {  # mode
  python3 - "$report" "$1" <<'PY'
import base64, re, sys, urllib.parse, zlib
body = open(sys.argv[1], "rb").read().decode("ascii")
text = urllib.parse.unquote_plus(body[len("error="):])
size = int(re.search(r"<___DUMPFILESIZE___>(\d+)<", text).group(1))
dump = zlib.decompress(base64.b64decode(re.search(r"<___DUMPFILE___>([^<]*)<", text).group(1)))
if sys.argv[2] == "garbled":
    dump = b"MDMZ" + dump[4:]
packed = zlib.compress(dump, 6)
if sys.argv[2] == "cut":
    packed = packed[: len(packed) // 2]
encoded = base64.b64encode(packed).decode()
encoded = "\n".join(encoded[i : i + 76] for i in range(0, len(encoded), 76))
text = re.sub(r"dump: original size = \d+, compressed size = \d+, base64-encoded size = \d+",
              f"dump: original size = {size}, compressed size = {len(packed)}, base64-encoded size = {len(encoded)}", text)
text = re.sub(r"<___DUMPFILE___>[^<]*<", f"<___DUMPFILE___>{encoded}<", text)
sys.stdout.write("error=" + urllib.parse.quote_plus(text, safe="-_."))
PY
}
# mode | the dump's line | files extracted
while IFS='|' read -r mode shown files; do
  mode=$(echo "$mode" | xargs) shown=$(echo "$shown" | sed 's/^ *//;s/ *$//') files=$(echo "$files" | xargs)
  [ -s "$report" ] || break
  damaged "$mode" >"$work/$mode.txt"
  out=$(explain "$(winpath "$work/$mode.txt")") || { fail "dump $mode: kstool explain failed: $(cat "$work/stderr")"; continue; }
  grep -Eq -- "$shown" <<<"$out" || fail "dump $mode: no line like '$shown' in:
$out"
  grep -q '^because: the log ends with: crasher ready' <<<"$out" || fail "dump $mode: the log is not explained"
  mkdir "$work/$mode"
  explain --extract "$(winpath "$work/$mode")" "$(winpath "$work/$mode.txt")" >/dev/null ||
    fail "dump $mode: --extract failed: $(cat "$work/stderr")"
  [ "$(cd "$work/$mode" && ls | xargs)" = "$files" ] || fail "dump $mode: extracted $(cd "$work/$mode" && ls | xargs), not $files"
done <<'TABLE'
garbled | ^dump: [0-9]+ bytes, does not read as a minidump: not a minidump | Cache.xml KSSetup.txt crash.dmp
cut     | ^dump: does not read: the dump does not inflate                   | Cache.xml KSSetup.txt
TABLE

# kstool triage over reports made of the saved runs: each failure's log sent
# twice, its cause named in the report's error text and not (its log tells),
# the failure report the starter posted, the crash report and its damaged
# copies, and a file that is no report.
mkdir "$work/reports"
python3 - "$kept" "$work/reports" <<'PY'
import base64, glob, os, sys, urllib.parse, zlib
kept, out = sys.argv[1:]
def attachment(tag, label, data):
    packed = zlib.compress(data, 6)
    encoded = base64.b64encode(packed).decode()
    encoded = "\n".join(encoded[i : i + 76] for i in range(0, len(encoded), 76))
    summary = f"{label}: original size = {len(data)}, compressed size = {len(packed)}, base64-encoded size = {len(encoded)}"
    return summary, f"\n<___{tag}SIZE___>{len(data)}</___{tag}SIZE___>\n<___{tag}___>{encoded}</___{tag}___>"
for path in sorted(glob.glob(f"{kept}/failed-*.txt")):
    name = os.path.basename(path)[:-4]
    cause = name[len("failed-"):].split("-beside-")[0]
    log = open(path, "rb").read() + b"\0"
    for named in (True, False):
        summary, fields = attachment("LOGFILE", "Log", log)
        text = ("Kestrelon sCurrentFile = KestrelonStarter.exe\nsCurrentDirectory = C:\\T\n\n\n"
                "Version: 5.2.1 V5.0 SP1 of Bootwick\nComputer Name: vm\nComputer IP: 192.0.2.2\n"
                "OS: Microsoft Windows Vista \nIE: 9\nIE Minor: 0\n"
                f"IE Build: 1\nGetLastError() returns: 0\nError: {cause if named else ''}\n{summary}\n\n" + fields +
                "\n<___CACHEFILESIZE___>0</___CACHEFILESIZE___>\n<___CACHEFILE___></___CACHEFILE___>"
                "\n<___DUMPFILESIZE___>0</___DUMPFILESIZE___>\n<___DUMPFILE___></___DUMPFILE___>&&xyz\n")
        with open(f"{out}/{name}-{'named' if named else 'logged'}.txt", "w") as f:
            f.write("error=" + urllib.parse.quote_plus(text, safe="-_."))
PY
cp "$report" "$work/reports/report-20240501-090307-1.txt"
[ -s "$posted" ] && cp "$posted" "$work/reports/posted-server-unreachable.txt"
for mode in garbled cut; do [ -s "$work/$mode.txt" ] && cp "$work/$mode.txt" "$work/reports/"; done
echo "no report" >"$work/reports/notes.txt"
wine "$build/kstool.exe" triage --json --html "$(winpath "$work/triage.html")" "$(winpath "$work/reports")" </dev/null \
  2>"$work/stderr" | tr -d '\r' >"$work/triage.json" || fail "triage failed: $(cat "$work/stderr")"
python3 - "$work/triage.json" "$work/reports" "$work/triage.html" <<'PY' || fail "triage: the counts above are wrong"
import collections, glob, json, os, sys
lines = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
counts = {line["signature"]: line["count"] for line in lines if "signature" in line}
expected = collections.Counter()
for path in glob.glob(f"{sys.argv[2]}/failed-*.txt"):
    expected["failed: " + os.path.basename(path)[len("failed-"):].rsplit("-", 1)[0].split("-beside-")[0]] += 1
for path in glob.glob(f"{sys.argv[2]}/posted-*.txt"):
    expected["failed: " + os.path.basename(path)[len("posted-"):-4]] += 1
crash = [s for s in counts if s.startswith("crash: 0xC0000005 EXCEPTION_ACCESS_VIOLATION at starter+0x")]
wrong = [f"{s}: {counts.get(s)} reports, not {n}" for s, n in expected.items() if counts.get(s) != n]
wrong += [] if len(crash) == 1 and counts[crash[0]] == 1 else [f"no crash signature in {sorted(counts)}"]
unreadable = [line["unreadable"] for line in lines if "unreadable" in line]
wrong += [f"a version keeps its text's tail: {v}" for line in lines for v in line.get("versions", {}) if "Bootwick" in v]
wrong += [] if unreadable == ["notes.txt"] else [f"unreadable: {unreadable}"]
page = open(sys.argv[3], encoding="utf-8").read()
wrong += [] if "<svg" in page and "<script" not in page and "http" not in page else ["the page is not one of its own"]
for line in wrong: print("triage:", line)
sys.exit(1 if wrong else 0)
PY
# With the crasher's build the crash's signature is its walked stack: the
# crashing function, then its caller.
out=$(wine "$build/kstool.exe" triage --symbols "$(winpath "$build/tests")" "$(winpath "$work/reports")" </dev/null \
  2>"$work/stderr" | tr -d '\r') || fail "triage --symbols failed: $(cat "$work/stderr")"
grep -q ' crash: 0xC0000005 EXCEPTION_ACCESS_VIOLATION at starter!(anonymous namespace)::AccessViolation() < starter!main ' \
  <<<"$out" || fail "triage --symbols: the crash is not signed by its walked stack:
$out"

if [ "$failures" -gt 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "explained every saved run and the crash report"
