#!/usr/bin/env bash
# Makes the signed programs for the publisher-check runs of tests_e2e, with
# throw-away certificates made here, into <build>/tests/signed:
#   KestrelonStarter.exe       the starter, signed by certificate A
#   KSInstaller-a.exe          the stand-in installer signed by A
#   KSInstaller-b.exe          signed by B: A's subject, another key
#   KSInstaller-changed.exe    signed by A, then one byte changed
# Argument: the Windows build folder (build/win).
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in openssl osslsigncode; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it)"; exit 1; }
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
sign a "$build/KestrelonStarter.exe" KestrelonStarter.exe
sign a "$build/standins/KSInstaller.exe" KSInstaller-a.exe
sign b "$build/standins/KSInstaller.exe" KSInstaller-b.exe
sign a "$build/standins/KSInstaller.exe" KSInstaller-changed.exe
printf 'X' | dd of=KSInstaller-changed.exe bs=1 seek=4096 conv=notrunc status=none
if cmp -s KSInstaller-a.exe KSInstaller-changed.exe; then
  echo "FAILED: the changed copy did not change"
  exit 1
fi
echo "signed programs in $out"
