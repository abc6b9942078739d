#!/usr/bin/env bash
# kstool explain over what real whole-starter runs left: the logs the e2e,
# failure-road and start-up tests kept (one per way a run ends) and the
# report of the crash test, all in <build>/tests/explained (CTest runs those
# tests first). Each must be explained with the right first line and show the
# road the run took; the report names its exception and the crashed module,
# and --extract gives back its log and a minidump; walked with the crashing
# program's build (--symbols), its stack names the crashing function on top
# and its caller beneath, with file and line from the native kstool; a
# failure report names the cause its log shows.
# Arguments: the Windows build folder (build/win) and the native kstool;
# WINEPREFIX names the test prefix.
set -euo pipefail
build=$1
native_kstool=$2
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
report=$kept/failure-report.txt
if [ ! -s "$report" ]; then
  fail "failure-report: no saved report"
else
  out=$(explain "$(winpath "$report")") || fail "failure-report: kstool explain failed: $(cat "$work/stderr")"
  for line in 'last error: 0: server-unreachable' 'dump: none (no file)' 'outcome: failed: server-unreachable'; do
    grep -qx -- "$line" <<<"$out" || fail "failure-report: no line '$line' in:
$out"
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "explained every saved run and the crash report"
