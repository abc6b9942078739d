#!/usr/bin/env bash
# A signed starter keeps a valid Authenticode signature when the native kstool
# stamps it, both ways and again, and the stamped copies still run and read
# their settings. With --certificate the certificate table holds nothing but
# the signature and at most 7 zero bytes (what the strict signature check
# demands), and restamping leaves one added certificate. Arguments: the
# Windows build folder (build/win) and the native kstool; WINEPREFIX names
# the test prefix.
set -euo pipefail
source "$(dirname "$0")/stamp_test_lib.sh" "$@"

verify() {  # file -> verification output; fails the test when not verified
  local out
  out=$(osslsigncode verify -CAfile cert.pem -in "$1" 2>&1) || { echo "$out"; return 1; }
  if grep -q MISMATCH <<<"$out"; then echo "$out"; return 1; fi
  return 0
}

strict() {  # file -> fails unless the certificate table is one entry: DER signature, then < 8 zero bytes
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
table, size = struct.unpack_from("<II", data, pe + 24 + 112 + 32)
assert table + size == len(data), "table does not end the file"
length, revision, kind = struct.unpack_from("<IHH", data, table)
assert (length, revision, kind) == (size, 0x200, 2), (length, size, revision, kind)
der = data[table + 8:]
assert der[0] == 0x30 and 0x81 <= der[1] <= 0x84, "not a long DER sequence"
count = der[1] & 0x7F
end = 2 + count + int.from_bytes(der[2:2 + count], "big")
rest = der[end:]
assert len(rest) < 8 and rest == bytes(len(rest)), f"{len(rest)} bytes after the signature: {rest[:16]!r}"
assert len(data) % 8 == 0
PY
}

added_certificates() {  # file -> how many settings certificates its signature lists
  python3 - "$1" <<'PY' | openssl pkcs7 -inform DER -print_certs -noout | grep -c "^subject=CN = Kestrelon starter settings" || true
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
table, size = struct.unpack_from("<II", data, pe + 24 + 112 + 32)
sys.stdout.buffer.write(data[table + 8:table + size].rstrip(b"\0"))
PY
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

sign "$build/KestrelonStarter.exe" signed.exe
verify signed.exe >/dev/null || fail "the freshly signed copy does not verify"

printf '<__AccountServerIP__>as.kestrelon.test</__AccountServerIP__>\n<__Role__>attendee</__Role__>\n' >settings.txt
printf '<__AccountServerIP__>second.kestrelon.test</__AccountServerIP__>\n<__Role__>host</__Role__>\n' >settings2.txt
kstool() { "$native_kstool" "$@" </dev/null; }

# A signed starter gets its settings in an added certificate by default.
said=$(kstool stamp signed.exe settings.txt default.exe)
grep -q "certificate added to the signature" <<<"$said" || fail "stamp did not add a certificate by default: $said"

# In the certificate table, after the signature, when asked.
said=$(kstool stamp --after-signature signed.exe settings.txt stamped.exe)
grep -q "certificate table" <<<"$said" || fail "stamp did not use the certificate table: $said"
verify stamped.exe || fail "the stamped copy no longer verifies"
kstool stamp --after-signature stamped.exe settings2.txt restamped.exe >/dev/null
verify restamped.exe || fail "the copy stamped twice no longer verifies"

# In a certificate added to the signature, over a copy stamped the other way.
said=$(kstool stamp --certificate stamped.exe settings.txt certificate.exe)
grep -q "certificate added to the signature" <<<"$said" || fail "stamp --certificate said: $said"
verify certificate.exe || fail "the copy with an added certificate does not verify"
strict certificate.exe || fail "the certificate table holds more than the signature"
[ "$(added_certificates certificate.exe)" = 1 ] || fail "openssl does not list the added certificate"
kstool stamp --certificate certificate.exe settings2.txt recertificate.exe >/dev/null
verify recertificate.exe || fail "the copy stamped twice with --certificate does not verify"
strict recertificate.exe || fail "restamping left bytes after the signature"
[ "$(added_certificates recertificate.exe)" = 1 ] || fail "restamping did not replace the added certificate"
shown=$(kstool stamp --show recertificate.exe)
[ "$shown" = "$(printf 'block: added certificate, at byte %s of %s\nsettings:\n%s' \
  "$(grep -abo 'V&&VI\*\*\*DDDD' recertificate.exe | tail -1 | cut -d: -f1)" "$(stat -c %s recertificate.exe)" \
  "$(cat settings2.txt)")" ] ||
  fail "--show does not tell the newer settings in the added certificate: $shown"

# An unsigned starter has no certificate set to carry the block.
if kstool stamp --certificate "$build/KestrelonStarter.exe" settings.txt unsigned.exe 2>err.txt; then
  fail "an unsigned starter was stamped with --certificate"
fi
grep -q "it is not signed" err.txt && [ ! -e unsigned.exe ] || fail "unsigned refusal: $(cat err.txt)"

# The check above means something only if a changed program fails it.
cp stamped.exe tampered.exe
printf 'X' | dd of=tampered.exe bs=1 seek=4096 conv=notrunc status=none
if verify tampered.exe >/dev/null; then fail "a changed program still verifies"; fi

log=$(run_log signed.exe "Invalid setting")
grep -qx "Invalid setting" <<<"$log" || fail "the signed, unstamped copy did not run as unstamped: $log"
log=$(run_log stamped.exe "Valid sSetting")
grep -qx "Valid sSetting" <<<"$log" || fail "the signed, stamped copy did not read its block: $log"
asked="sIP = second.kestrelon.test, iPort = 8889, URL = /as/wapi/get_client_size, m_iExpectedReceiveSize = 0"
log=$(run_log recertificate.exe "$asked")
grep -qxF "$asked" <<<"$log" ||
  fail "the copy restamped with --certificate did not read its newer settings: $log"
echo "1 passed, 0 failed"
