#!/usr/bin/env bash
# Makes the signed starters, programs and packages for the publisher-check
# runs of tests_e2e, with throw-away certificates made here, into
# <build>/tests/signed:
#   KestrelonStarter.exe               the starter, signed by certificate A
#   KestrelonStarter-floor.exe         the starter built with the floor 6.0, signed by A
#   KestrelonStarter-changed.exe       signed by A, then a byte of its DOS stub changed
#   KestrelonStarter-nosignature.exe   a certificate table whose one entry holds no signature
#   KSInstaller-a.exe                  the stand-in installer signed by A
#   KSInstaller-b.exe                  signed by B: A's subject, another key
#   KSInstaller-changed.exe            signed by A, then one byte changed
#   package-*.pkg                      client packages (KSInstaller.exe, readme.txt,
#                                      Kestrelon\version.txt), signed or not, see below
#   accessory-signed.pkg               the local accessory archive, signed by A
# and checks every row of package_verdicts.txt with kstool verify.
# Arguments: the Windows build folder (build/win) and the native kstool.
set -euo pipefail
table=$(cd "$(dirname "$0")" && pwd)/package_verdicts.txt
craft=$(cd "$(dirname "$0")" && pwd)/craft_signature.py
build=$(cd "$1" && pwd)
kstool=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
for tool in openssl osslsigncode python3 "$kstool"; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it, scripts/build.sh builds kstool)"; exit 1; }
done
out=$build/tests/signed
rm -rf "$out"
mkdir -p "$out"
cd "$out"

subject="/CN=Kestrelon Throwaway Publisher/O=Kestrelon Test"
for name in a b; do
  openssl req -x509 -newkey rsa:2048 -keyout "key-$name.pem" -out "cert-$name.pem" -days 2 -nodes \
    -subj "$subject" >/dev/null 2>&1
done
sign() {  # certificate name, input, output
  osslsigncode sign -certs "cert-$1.pem" -key "key-$1.pem" -in "$2" -out "$3" >/dev/null
}
change_byte() {  # file, offset: the byte there turned into another
  python3 - "$1" "$2" <<'PY'
import sys
path, offset = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, "rb").read())
data[offset] ^= 0x20
open(path, "wb").write(data)
PY
}
sign a "$build/KestrelonStarter.exe" KestrelonStarter.exe
sign a "$build/tests/KestrelonStarterFloor.exe" KestrelonStarter-floor.exe
sign a "$build/KestrelonStarter.exe" KestrelonStarter-changed.exe
change_byte KestrelonStarter-changed.exe 96  # "This program cannot be run in DOS mode."
python3 - "$build/KestrelonStarter.exe" KestrelonStarter-nosignature.exe <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
security = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 112 + 32
data += bytes(-len(data) % 8)
struct.pack_into("<II", data, security, len(data), 8)
data += struct.pack("<IHH", 8, 0x200, 2)  # an entry with no signature in it
open(sys.argv[2], "wb").write(data)
PY
sign a "$build/standins/KSInstaller.exe" KSInstaller-a.exe
sign b "$build/standins/KSInstaller.exe" KSInstaller-b.exe
sign a "$build/standins/KSInstaller.exe" KSInstaller-changed.exe
change_byte KSInstaller-changed.exe 4096
if cmp -s KSInstaller-a.exe KSInstaller-changed.exe; then
  echo "FAILED: the changed copy did not change"
  exit 1
fi

# pack <installer> <package> [kstool pack options]: the client package with
# that installer, its version file holding the version described.
pack() {
  rm -rf tree && mkdir -p tree/Kestrelon
  cp "$1" tree/KSInstaller.exe
  printf 'Kestrelon client package for the end-to-end tests\r\n' >tree/readme.txt
  local version=5.2.1-e2e options=("${@:3}") i
  for ((i = 0; i + 1 < ${#options[@]}; i++)); do
    [ "${options[i]}" = --version ] && version=${options[i + 1]}
  done
  printf '%s\r\n' "$version" >tree/Kestrelon/version.txt
  "$kstool" pack "${@:3}" tree "$2" >/dev/null
}
# What every package but one says it is, as the stamped starters ask.
described=(--client Kestrelon --version 5.2.1-e2e)
# entry <package> <name> <content file> [before]: an entry in the archive's
# format added at its end, or before its last entry.
entry() {
  python3 - "$@" <<'PY'
import struct, sys, zlib
path, name, content = sys.argv[1], sys.argv[2], open(sys.argv[3], "rb").read()
where = sys.argv[4] if len(sys.argv) > 4 else "end"
encoded = name.encode() + b"\0"
body = zlib.compress(content, 6)
added = struct.pack("<I", len(encoded)) + encoded + struct.pack("<IH", len(body), 0) + body
data = open(path, "rb").read()
if where == "before":
    start = pos = 0
    while pos < len(data):  # to the start of the last entry
        start = pos
        length = struct.unpack_from("<I", data, pos)[0]
        pos += 4 + length
        pos += 6 + struct.unpack_from("<I", data, pos)[0]
    data = data[:start] + added + data[start:]
else:
    data += added
open(path, "wb").write(data)
PY
}
# cms <package> [openssl options]: signs it with openssl cms and appends the
# signature entry.
cms() {
  openssl cms -sign -binary -md sha256 -outform DER "${@:2}" -signer cert-a.pem -inkey key-a.pem -in "$1" \
    -out signature.der
  entry "$1" KSPackage.sig signature.der
}

pack KSInstaller-a.exe package-cms.pkg "${described[@]}" && cms package-cms.pkg
pack KSInstaller-a.exe package-cms-noattr.pkg "${described[@]}" && cms package-cms-noattr.pkg -noattr
pack KSInstaller-a.exe package-kstool.pkg --sign cert-a.pem key-a.pem "${described[@]}"
pack KSInstaller-a.exe package-unsigned.pkg
pack KSInstaller-a.exe package-other-key.pkg --sign cert-b.pem key-b.pem "${described[@]}"
# A byte of the installer's entry changed after signing.
cp package-cms.pkg package-changed.pkg && change_byte package-changed.pkg 400
cp package-cms-noattr.pkg package-changed-noattr.pkg && change_byte package-changed-noattr.pkg 400
# A library the installer would load from its own folder, added before or
# after the signature entry.
cp "$build/standins/planted.dll" version.dll
cp package-kstool.pkg package-added-before.pkg && entry package-added-before.pkg version.dll version.dll before
cp package-kstool.pkg package-added-after.pkg && entry package-added-after.pkg version.dll version.dll
# Signed packages whose installer the publisher check refuses.
pack "$build/standins/KSInstaller.exe" package-installer-unsigned.pkg --sign cert-a.pem key-a.pem "${described[@]}"
pack KSInstaller-b.exe package-installer-b.pkg --sign cert-a.pem key-a.pem "${described[@]}"
pack KSInstaller-changed.exe package-installer-changed.pkg --sign cert-a.pem key-a.pem "${described[@]}"
# Signed by the publisher, but not the package a run asks for.
pack KSInstaller-a.exe package-old.pkg --sign cert-a.pem key-a.pem --client Kestrelon --version 4.0.0
pack KSInstaller-a.exe package-other-client.pkg --sign cert-a.pem key-a.pem --client Gardolo --version 5.2.1-e2e
pack KSInstaller-a.exe package-no-description.pkg && cms package-no-description.pkg
pack KSInstaller-a.exe package-expired.pkg --sign cert-a.pem key-a.pem "${described[@]}" --not-after 2001-01-01
pack KSInstaller-a.exe package-not-yet.pkg --sign cert-a.pem key-a.pem "${described[@]}" --not-before 2999-01-01
pack KSInstaller-a.exe package-rollback.pkg --sign cert-a.pem key-a.pem "${described[@]}" --rollback
# Signatures two verifiers could read differently (craft_signature.py).
for kind in crafted-certificates unsorted-attributes sha1-digests no-digests garbage-crls ecdsa-named; do
  pack KSInstaller-a.exe "package-$kind.pkg" "${described[@]}"
  python3 "$craft" "$kind" "package-$kind.pkg" .
done

rm -rf tree && mkdir tree
printf 'accessory file\r\n' >tree/accessory.txt
"$kstool" pack --sign cert-a.pem key-a.pem "${described[@]}" tree accessory-signed.pkg >/dev/null

# Every row of the table through the native kstool verify, with the asks of
# its run: the same verdict as its starter gives, or the table is wrong.
trim() { local s=$1; s=${s#"${s%%[![:space:]]*}"}; printf '%s' "${s%"${s##*[![:space:]]}"}"; }
failed=0
rows=0
while IFS='|' read -r row starter run package asks installed floor verdict _; do
  row=$(trim "$row")
  [[ -z $row || $row == \#* ]] && continue
  starter=$(trim "$starter") package=$(trim "$package") asks=$(trim "$asks")
  installed=$(trim "$installed") floor=$(trim "$floor") verdict=$(trim "$verdict")
  [ "$starter" = unsigned ] && continue
  args=(verify --signer cert-a.pem --client "${asks% *}" --version "${asks#* }")
  [ "$installed" = - ] || args+=(--installed "$installed")
  [ "$floor" = - ] || args+=(--floor "$floor")
  if said=$("$kstool" "${args[@]}" "$package" 2>&1 >/dev/null); then
    got=installed
  else
    got=$(sed -n 's/^kstool: .* is refused (\([^:]*\): .*/\1/p' <<<"$said")
  fi
  if [ "$got" != "$verdict" ]; then
    echo "FAILED: $row: kstool verify says '${got:-$said}', the table '$verdict'"
    failed=1
  fi
  rows=$((rows + 1))
done <"$table"
[ "$failed" = 0 ] || exit 1
rm -rf tree signature.der version.dll cert-loose.pem
echo "signed programs and packages in $out; kstool verify agrees with the table's $rows rows"
