#!/usr/bin/env bash
# A signed starter keeps a valid Authenticode signature when kstool stamps it
# (once and again), and both the signed copy and its stamped copy still run.
# Signs with a throw-away certificate made here. Argument: the Windows build
# folder (build/win); WINEPREFIX names the test prefix.
set -euo pipefail
build=$(cd "$1" && pwd)
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=-all
for tool in openssl osslsigncode wine wineserver; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it)"; exit 1; }
done

work=$(mktemp -d /tmp/ks-signed.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
fail() { echo "FAILED: $*"; exit 1; }

# A server of our own only if none runs; its output must not hold our pipes.
wineserver -p30 </dev/null >/dev/null 2>&1 &

verify() {  # file -> verification output; fails the test when not verified
  local out
  out=$(osslsigncode verify -CAfile cert.pem -in "$1" 2>&1) || { echo "$out"; return 1; }
  if grep -q MISMATCH <<<"$out"; then echo "$out"; return 1; fi
  return 0
}

run_log() {  # exe name, awaited message -> its log messages, with a private temporary folder
  local logs="$work/logs-$1"
  mkdir -p "$logs"
  local temp
  temp=$(winpath "$logs")
  wine cmd /c "set TMP=$temp&& set TEMP=$temp&& $(winpath "$work/$1")" </dev/null >/dev/null 2>&1 &
  local runner=$!
  # cmd may return before the program has logged anything (it does not wait
  # for a windowed program), and a copy with parameters keeps its window open:
  # so wait for the awaited message itself, then end the program.
  for _ in $(seq 1 600); do
    tr -d '\r' <"$logs/KSSetup.txt" 2>/dev/null | grep -qx "Message: $2" && break
    sleep 0.1
  done
  wine taskkill /f /im "$1" </dev/null >/dev/null 2>&1 || true
  wait "$runner" 2>/dev/null || true
  tr -d '\r' <"$logs/KSSetup.txt" | sed -n 's/^Message: //p'
}

openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -nodes \
  -subj "/CN=Kestrelon Throwaway Test Signing" >/dev/null 2>&1
osslsigncode sign -certs cert.pem -key key.pem -in "$build/KestrelonStarter.exe" -out signed.exe >/dev/null
verify signed.exe >/dev/null || fail "the freshly signed copy does not verify"

printf '<__AccountServerIP__>as.kestrelon.test</__AccountServerIP__>\n<__Role__>attendee</__Role__>\n' >settings.txt
printf '<__Role__>host</__Role__>\n' >settings2.txt
kstool() { wine "$build/kstool.exe" "$@" </dev/null; }
said=$(kstool stamp "$(winpath "$work/signed.exe")" "$(winpath "$work/settings.txt")" "$(winpath "$work/stamped.exe")")
grep -q "certificate table" <<<"$said" || fail "stamp did not use the certificate table: $said"
verify stamped.exe || fail "the stamped copy no longer verifies"
kstool stamp "$(winpath "$work/stamped.exe")" "$(winpath "$work/settings2.txt")" \
  "$(winpath "$work/restamped.exe")" >/dev/null
verify restamped.exe || fail "the copy stamped twice no longer verifies"

# The check above means something only if a changed program fails it.
cp stamped.exe tampered.exe
printf 'X' | dd of=tampered.exe bs=1 seek=4096 conv=notrunc status=none
if verify tampered.exe >/dev/null; then fail "a changed program still verifies"; fi

log=$(run_log signed.exe "Invalid setting")
grep -qx "Invalid setting" <<<"$log" || fail "the signed, unstamped copy did not run as unstamped: $log"
log=$(run_log stamped.exe "Valid sSetting")
grep -qx "Valid sSetting" <<<"$log" || fail "the signed, stamped copy did not read its block: $log"
echo "1 passed, 0 failed"
