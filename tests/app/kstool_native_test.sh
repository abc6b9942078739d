#!/usr/bin/env bash
# The native kstool and kstool.exe given the same inputs: the same output
# bytes, messages and exit codes, for every command both have, for standard
# input and output, and for hostile starters (which leave no output file).
# Arguments: the Windows build folder (build/win) and the native kstool;
# WINEPREFIX names the test prefix.
set -euo pipefail
source "$(dirname "$0")/stamp_test_lib.sh" "$@"
mkdir native windows

# both <name> <stdin-file> <kstool arguments...>: runs each tool in its own
# folder (outputs named there) and compares exit code, stdout and stderr.
# Relative paths keep the messages alike; kstool.exe's text lines end in CR LF
# and pack names the archive by its full path, so those are evened out,
# except for a copy stamped to standard output (a name starting "streamed").
cases=0
text() { if [[ $1 == streamed* ]]; then cat; else tr -d '\r' | sed -E 's#into .*[\\/]#into #'; fi; }
both() {
  local name=$1 input=$2
  shift 2
  (cd native && "$native_kstool" "$@" <"$input" 2>"../$name.native.err" | text "$name" >"../$name.native.out"
    echo "${PIPESTATUS[0]}" >"../$name.native.rc") || true
  (cd windows && wine "$build/kstool.exe" "$@" <"$input" 2>"../$name.windows.err" | text "$name" >"../$name.windows.out"
    echo "${PIPESTATUS[0]}" >"../$name.windows.rc") || true
  tr -d '\r' <"$name.windows.err" >"$name.windows.err2" && mv "$name.windows.err2" "$name.windows.err"
  for part in rc out err; do
    cmp -s "$name.native.$part" "$name.windows.$part" ||
      fail "$name: the tools differ in $part: native '$(head -c 300 "$name.native.$part")', windows '$(head -c 300 "$name.windows.$part")'"
  done
  cases=$((cases + 1))
}
same_file() {  # the named output of the last commands, alike in both folders
  cmp -s "native/$1" "windows/$1" || fail "the tools wrote different $1"
}

sign "$build/KestrelonStarter.exe" signed.exe
printf '<__AccountServerIP__>as.kestrelon.test</__AccountServerIP__>\r\n<__Role__>attendee</__Role__>\r\n' >settings.txt
printf '<__Role__>host</__Role__>\n' >settings2.txt
printf 'role=host&meeting_id=4711&name=Ann+Lee' >query.txt
for dir in native windows; do
  cp "$build/KestrelonStarter.exe" "$dir/starter.exe"
  cp signed.exe settings.txt settings2.txt query.txt "$dir/"
  mkdir -p "$dir/tree/bin"
  printf 'hello\r\n' >"$dir/tree/a.txt"
  head -c 5000 "$build/KestrelonStarter.exe" >"$dir/tree/bin/tool.dll"
done

# Hostile starters: cut short, a certificate table pointing past the end, a
# signature whose lengths do not add up.
python3 - <<'PY'
import struct
data = bytearray(open("signed.exe", "rb").read())
open("native/cut.exe", "wb").write(data[:1000])
pe = struct.unpack_from("<I", data, 0x3C)[0]
security = pe + 24 + 112 + 32
table, size = struct.unpack_from("<II", data, security)
past = bytearray(data)
struct.pack_into("<I", past, security + 4, size + 4096)
open("native/past.exe", "wb").write(past)
bad = bytearray(data)
bad[table + 8 + 4 + 11 + 4 + 3] ^= 0x04  # the SignedData's length
open("native/badlengths.exe", "wb").write(bad)
PY
cp native/cut.exe native/past.exe native/badlengths.exe windows/

both stamp-help /dev/null stamp --help
both unsigned /dev/null stamp starter.exe settings.txt unsigned.exe
same_file unsigned.exe
both signed /dev/null stamp --after-signature signed.exe settings.txt table.exe
same_file table.exe
both certificate /dev/null stamp --certificate signed.exe settings.txt certificate.exe
same_file certificate.exe
both streamed signed.exe stamp --certificate - settings.txt -
cmp -s streamed.native.out native/certificate.exe || fail "the copy on standard output differs from the file"
both restamped /dev/null stamp --certificate table.exe settings2.txt restamped.exe
same_file restamped.exe
both settings-streamed settings2.txt stamp --certificate table.exe - settings-streamed.exe
same_file settings-streamed.exe
cmp -s native/settings-streamed.exe native/restamped.exe || fail "settings from standard input differ from the file's"
for copy in starter unsigned table restamped; do both "show-$copy" /dev/null stamp --show "$copy.exe"; done
both query /dev/null query query.txt
both cfg /dev/null cfg settings.txt starter.cfg
same_file starter.cfg
both pack /dev/null pack tree tree.pkg
same_file tree.pkg
both pack-described /dev/null pack --client Kestrelon --version 5.2.1 --not-after 2030-01-01 --rollback tree described.pkg
same_file described.pkg

for hostile in cut past badlengths; do
  both "refused-$hostile" /dev/null stamp --certificate "$hostile.exe" settings.txt "out-$hostile.exe"
  [ "$(cat "refused-$hostile.native.rc")" = 2 ] || fail "$hostile.exe was not refused"
  [ "$(wc -l <"refused-$hostile.native.err")" = 1 ] || fail "$hostile.exe: not one line: $(cat "refused-$hostile.native.err")"
  [ -z "$(ls native windows | grep -e "^out-$hostile" || true)" ] || fail "$hostile.exe left an output file"
done
both missing-folder /dev/null stamp signed.exe settings.txt no/such/folder.exe
[ -z "$(find native windows -name '*.partial')" ] || fail "a partial file was left behind"

# A starter renamed over while it is stamped (a new build put in place on a
# server that stamps per download) must not mix into the copy: it is made
# whole from the file that was planned from. The settings come through a
# pipe, which the native kstool opens after it has opened the starter.
mkdir replaced
cp native/starter.exe replaced/starter.exe
python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[len(d) // 2] ^= 0xFF
open(sys.argv[2], "wb").write(d)' replaced/starter.exe replaced/new.exe
mkfifo replaced/settings
(cd replaced && "$native_kstool" stamp starter.exe settings out.exe >stamp.out 2>&1; echo $? >stamp.rc) &
stamp=$!
timeout 60 bash -c 'exec 3>replaced/settings; mv replaced/new.exe replaced/starter.exe; cat settings.txt >&3' ||
  fail "the stamp never read its settings: $(cat replaced/stamp.out)"
wait "$stamp"
[ "$(cat replaced/stamp.rc)" = 0 ] || fail "a starter replaced mid-stamp: $(cat replaced/stamp.out)"
cmp -s replaced/out.exe native/unsigned.exe || fail "a starter replaced mid-stamp gave a mixed copy"
echo "$cases cases alike"
echo "1 passed, 0 failed"
