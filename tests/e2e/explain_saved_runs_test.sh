#!/usr/bin/env bash
# kstool explain over what real whole-starter runs left: the logs the e2e,
# failure-road and start-up tests kept (one per way a run ends) and the
# report of the crash test, all in <build>/tests/explained (CTest runs those
# tests first). Each must be explained with the right first line and show the
# road the run took; the report names its exception and the crashed module,
# and --extract gives back its log and a minidump.
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

if [ "$failures" -gt 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "explained every saved run and the crash report"
