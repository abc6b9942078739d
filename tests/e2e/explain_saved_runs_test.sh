#!/usr/bin/env bash
# kstool explain over what real whole-starter runs left: the logs the e2e,
# failure-road and start-up tests kept (one per way a run ends) and the
# report of the crash test, all in <build>/tests/explained (CTest runs those
# tests first). Each must be explained with the right first line and show the
# road the run took; the report names its exception and the crashed module,
# and --extract gives back its log and a minidump, also when its dump is
# damaged.
# Arguments: the Windows build folder (build/win); WINEPREFIX names the test prefix.
set -euo pipefail
build=$1
kept=$build/tests/explained
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
  if [ ! -s "$kept/$name.txt" ]; then
    fail "$name: no saved log (its test did not run or did not keep it)"
    continue
  fi
  out=$(explain "$(winpath "$kept/$name.txt")") || { fail "$name: kstool explain failed: $(cat "$work/stderr")"; continue; }
  [ "$(head -n 1 <<<"$out")" = "$first" ] || fail "$name: first line '$(head -n 1 <<<"$out")', not '$first'"
  grep -Eq -- "$shown" <<<"$out" || fail "$name: no line like '$shown' in:
$out"
done <<'TABLE'
registered-only            | outcome: registered-only            | ^registered: URL protocol Kestrelon$
launched-client            | outcome: launched-client            | ^started: ".*\\Kestrelon\.exe" --program .*rsp1024hcmd\.txt \(in .*\): started$
started-installer          | outcome: started-installer          | ^road: /as/wapi/get_client: plain WinInet request: ok$
failed-server-unreachable  | outcome: failed: server-unreachable | ^road: /as/wapi/get_client_size: socket fallback: failed: connect\(\) failed
failed-server-unreachable-beside-report | outcome: failed: server-unreachable | ^road: /as/wapi/get_client_size: socket fallback: failed: connect\(\) failed
started-installer-through-proxy | outcome: started-installer  | ^road: /as/wapi/get_client_size: L system settings \(credentials typed and kept\): ok$
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
fi

# The same report with its dump damaged: what reads is still explained and
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

if [ "$failures" -gt 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "explained every saved run and the crash report"
