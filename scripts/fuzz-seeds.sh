#!/usr/bin/env bash
# Regenerates the fuzz targets' seed corpora in tests/fuzz/corpus/. Seeds of
# the parsers that the operator tool speaks to (meeting links, starter.cfg,
# stamped blocks, signatures, packages) are made by the native kstool; the
# others (socket replies, access records, proxy lists, cache and status texts)
# are written here by hand. The seeds are checked in, so only a change of
# format needs this script. Needs build/native/kstool and the starter (built
# if missing), openssl and osslsigncode.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

CORPUS=$KS_ROOT/tests/fuzz/corpus
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

if [ ! -f "$KS_NATIVE_BUILD/kstool" ] || [ ! -f "$KS_WIN_BUILD/KestrelonStarter.exe" ]; then
  "$KS_ROOT/scripts/build.sh"
fi
kstool() { "$KS_NATIVE_BUILD/kstool" "$@" </dev/null; }
w() { printf '%s' "$1"; }

for d in tag_field codec query_map meeting_query embedded_block settings_certificate package package_signature \
  socket_reply download_resume access_setting proxy_list cache_status_text starter_log error_report minidump unwind; do
  rm -rf "${CORPUS:?}/$d"
  mkdir -p "$CORPUS/$d"
done

# --- The settings and queries an operator hands out.
cat >"$WORK/settings.txt" <<'TEXT'
<__AccountServerIP__>127.0.0.1</__AccountServerIP__><__AccountServerPort__>8889</__AccountServerPort__><__MeetingId__>4711</__MeetingId__><__Role__>1</__Role__><__Version__>5.0.2</__Version__><__ClientName__>Kestrelon</__ClientName__><__StarterSid__>s-17</__StarterSid__><__AttendeeName__>Ann Lee</__AttendeeName__><__ClientHideServerAddress__>N</__ClientHideServerAddress__><__RecognizeManufacturer__>Y</__RecognizeManufacturer__>
TEXT
printf '<__Role__>2</__Role__>' >"$WORK/minimal.txt"
printf 'account_server_ip=127.0.0.1&port=8889&meeting_id=4711&meeting_password=p%%26w&role=1&name=Ann+Lee&email=ann%%40example.test&version=5.0.2&client_name=Kestrelon&plst=Y&client_hide_server_address=Y&recognize_manufacturer=N' >"$WORK/query-full.txt"
printf 'role=2&meeting_id=1' >"$WORK/query-minimal.txt"

# meeting_query: links, starter.cfg files, a command parameter file.
kstool query "$(w "$WORK/query-full.txt")" | tr -d '\n' >"$CORPUS/meeting_query/link-full"
kstool query --client Bootwick "$(w "$WORK/query-minimal.txt")" | tr -d '\n' >"$CORPUS/meeting_query/link-minimal"
kstool cfg "$(w "$WORK/settings.txt")" "$(w "$CORPUS/meeting_query/cfg-full")" >/dev/null
kstool cfg "$(w "$WORK/minimal.txt")" "$(w "$CORPUS/meeting_query/cfg-minimal")" >/dev/null
sed 's/$/\r/' "$WORK/settings.txt" >"$CORPUS/meeting_query/command-file"
[ -s "$CORPUS/meeting_query/link-full" ] && [ -s "$CORPUS/meeting_query/cfg-full" ] || {
  ks_log "kstool made no seeds"
  exit 1
}

# codec: the link's URL-encoded parameter and a starter.cfg's Base64 text.
cp "$CORPUS/meeting_query/link-full" "$CORPUS/codec/link-full"
cp "$CORPUS/meeting_query/cfg-full" "$CORPUS/codec/base64-cfg"
printf 'a%%2Bb%%2fc+d%%zz%%4' >"$CORPUS/codec/url-edges"

# query_map: control byte (bit 0 URL-decode, bit 1 ';') + query text.
{ printf '\001'; sed 's/^[^:]*://' "$CORPUS/meeting_query/link-full"; } >"$CORPUS/query_map/outer-decoded"
{ printf '\000'; sed 's/^[^:]*://' "$CORPUS/meeting_query/link-full"; } >"$CORPUS/query_map/outer-raw"
{ printf '\001'; cat "$WORK/query-full.txt"; } >"$CORPUS/query_map/inner"
printf '\003a=1;;b=2;=x;noequals;a=3' >"$CORPUS/query_map/semicolons"

# embedded_block: the end of a stamped starter and of one stamped twice.
kstool stamp "$(w "$KS_WIN_BUILD/KestrelonStarter.exe")" "$(w "$WORK/settings.txt")" "$(w "$WORK/once.exe")" >/dev/null
kstool stamp "$(w "$WORK/once.exe")" "$(w "$WORK/minimal.txt")" "$(w "$WORK/twice.exe")" >/dev/null
python3 - "$WORK" "$CORPUS/embedded_block" <<'PY'
import sys
work, out = sys.argv[1], sys.argv[2]
marker = b"V&&VI***DDDD111111###!!!!#####$$$%%@@@UUUU"
for name in ("once", "twice"):
    data = open(f"{work}/{name}.exe", "rb").read()
    first = data.rfind(marker)
    if name == "twice":
        first = data.rfind(marker, 0, first)
    assert first >= 0, name
    start = max(0, first - 200)
    # The block, its zero bytes cut to a few, and 200 bytes before it.
    tail = data[start:]
    end = len(tail.rstrip(b"\0")) + 8
    open(f"{out}/stamped-{name}", "wb").write(tail[:end])
PY

# settings_certificate: settings text, zero byte, the signature of a starter
# signed with a throw-away certificate, before and after a stamp.
openssl req -x509 -newkey rsa:2048 -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 -nodes \
  -subj "/CN=Kestrelon Throwaway Test Signing" >/dev/null 2>&1
osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -in "$KS_WIN_BUILD/KestrelonStarter.exe" \
  -out "$WORK/signed.exe" >/dev/null
kstool stamp --certificate "$WORK/signed.exe" "$WORK/settings.txt" "$WORK/certificate.exe" >/dev/null
python3 - "$WORK" "$CORPUS/settings_certificate" <<'PY'
import struct, sys
work, out = sys.argv[1], sys.argv[2]
def signature(name):
    data = open(f"{work}/{name}.exe", "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    table, _ = struct.unpack_from("<II", data, pe + 24 + 112 + 32)
    der = data[table + 8:]
    size = der[1] if der[1] < 0x80 else int.from_bytes(der[2:2 + (der[1] & 0x7F)], "big") + (der[1] & 0x7F)
    return der[:2 + size]
open(f"{out}/signed", "wb").write(b"<__Role__>2</__Role__>\0" + signature("signed"))
open(f"{out}/stamped", "wb").write(b"<__Role__>3</__Role__>\0" + signature("certificate"))
PY

# package: archives packed from a small tree.
mkdir -p "$WORK/tree/bin" "$WORK/tree/docs/deep"
printf 'hello\r\n' >"$WORK/tree/a.txt"
head -c 3000 /dev/zero | tr '\0' 'k' >"$WORK/tree/bin/tool.dll"
printf 'read me' >"$WORK/tree/docs/deep/readme.txt"
: >"$WORK/tree/empty.txt"
kstool pack "$(w "$WORK/tree")" "$(w "$CORPUS/package/tree.pkg")" >/dev/null
mkdir -p "$WORK/one"
printf 'one file' >"$WORK/one/only.txt"
kstool pack "$(w "$WORK/one")" "$(w "$CORPUS/package/one.pkg")" >/dev/null
printf 'bin\\tool.dll' >"$CORPUS/package/name-nested"
printf '..\\up.txt' >"$CORPUS/package/name-climbing"

# package_signature: a package signed by kstool pack --sign with and without
# signed attributes, and signatures as openssl cms makes them (by issuer and
# serial, by subject key identifier, without attributes).
ps=$CORPUS/package_signature
described=(--client Kestrelon --version 5.0.2)
kstool pack --sign "$WORK/cert.pem" "$WORK/key.pem" "${described[@]}" "$(w "$WORK/one")" "$(w "$ps/signed.pkg")" >/dev/null
kstool pack --sign "$WORK/cert.pem" "$WORK/key.pem" --noattr "${described[@]}" "$(w "$WORK/one")" \
  "$(w "$ps/signed-noattr.pkg")" >/dev/null
for way in attributes:"" keyid:-keyid noattr:-noattr; do
  openssl cms -sign -binary -md sha256 -outform DER ${way#*:} -signer "$WORK/cert.pem" -inkey "$WORK/key.pem" \
    -in "$CORPUS/package/one.pkg" -out "$ps/${way%%:*}.der"
done

# package_description: packages that begin with their description, as kstool
# pack writes them (signed or not, the admission reads the same bytes), and
# a description's text alone.
pd=$CORPUS/package_description
rm -rf "$pd" && mkdir -p "$pd"
mkdir -p "$WORK/client"
printf 'MZ' >"$WORK/client/KSInstaller.exe"
kstool pack "${described[@]}" --not-before 2024-05-01 --not-after 2030-01-01T12:00:00Z "$(w "$WORK/client")" \
  "$(w "$pd/dated.pkg")" >/dev/null
kstool pack "${described[@]}" --rollback "$(w "$WORK/one")" "$(w "$pd/rollback-no-program.pkg")" >/dev/null
printf '<__ClientName__>Kestrelon</__ClientName__>\r\n<__Version__>5.2.1-rc1</__Version__>\r\n<__NotAfter__>2024-02-29</__NotAfter__>\r\n' \
  >"$pd/description.txt"

# tag_field: text \0 opening \0 closing \0 value.
{ cat "$WORK/settings.txt"; printf '\000<__Role__>\000</__Role__>\0002'; } >"$CORPUS/tag_field/settings-role"
{ cat "$WORK/settings.txt"; printf '\000<__StarterSid__>\000</__StarterSid__>\000'; } >"$CORPUS/tag_field/settings-empty-value"
printf '<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>\000<__ClientCalledToLaunch__>\000</__ClientCalledToLaunch__>\000N' \
  >"$CORPUS/tag_field/status"
printf '<__A__></__A__><__A__>x</__A__>\000<__A__>\000__>' >"$CORPUS/tag_field/overlapping-close"

# --- Hand-made: what no tool writes.
# socket_reply: flags, known length (2 bytes), n, n segment sizes, reply.
sr=$CORPUS/socket_reply
ok='HTTP/1.1 200 OK\r\nContent-Length: 11\r\nConnection: close\r\n\r\nhello world'
printf "\000\000\000\000$ok" >"$sr/whole"
printf "\001\000\000\003\005\001\000$ok" >"$sr/segments"
printf "\002\000\000\002\027\003$ok" >"$sr/into-room"
printf '\000\000\000\000HTTP/1.0 200 OK\r\nServer: x\r\n\r\n<__Version__>5.0.2</__Version__>' >"$sr/no-length"
printf '\006\005\000\001\004HTTP/1.1 200 OK\r\n\r\nabcde' >"$sr/known-length"
printf '\000\000\000\000HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n' >"$sr/negative"
printf '\000\000\000\000HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nx' >"$sr/overflowing"
printf '\010\000\000\000HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a part' >"$sr/early-close"
printf '\000\000\000\000HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n' >"$sr/zero"
printf '\000\000\000\001\012HTTP/1.1 200 OK\r\nContent-Length: 3' >"$sr/no-header-end"
printf '\000\000\000\000HTTP/1.1 200 OK\r\n\r\nContent-Length: 4\r\n\r\nbody' >"$sr/length-in-body"
# Bit 5: a long header line first, so the first block is full.
printf '\040\000\000\000HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde' >"$sr/full-block-header-ends"
printf '\040\137\000\000HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nabcde' >"$sr/full-block-header-beyond"

# download_resume: bytes held and whole size (two 16-bit counts), then a
# reply's header block; or a kept part's file as it stands.
dr=$CORPUS/download_resume
printf '<__KeptServer__>127.0.0.1:8889</__KeptServer__>\n<__KeptSize__>10</__KeptSize__>\n<__KeptBytes__>4</__KeptBytes__>\n<__KeptValidator__>"v1"</__KeptValidator__>\n<__KeptTime__>1712345678</__KeptTime__>\n\n0123' >"$dr/kept-part"
printf '\004\000\012\000HTTP/1.1 206 Partial Content\r\nContent-Length: 6\r\nETag: "v1"\r\nContent-Range: bytes 4-9/10\r\n\r\n456789' >"$dr/rest"
printf '\004\000\012\000HTTP/1.1 200 OK\r\nContent-Length: 10\r\nETag: W/"weak"\r\nLast-Modified: Mon, 01 Apr 2024 10:00:00 GMT\r\n\r\n0123456789' >"$dr/whole"
printf '\004\000\012\000HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */10\r\n\r\n' >"$dr/not-satisfiable"
printf '\000\000\000\000bytes 0-0/*' >"$dr/content-range"

# access_setting: records \0 host \0 port \0 bypass \0 proxy \0 flags.
as=$CORPUS/access_setting
records='meet.example.test\t443\tY\tD\tNULL\tNULL\nmeet.example.test\t80\tN\tP\t*.local;<local>\tproxy.example.test:8080'
printf "$records\000meet.example.test\00080\000NULL\000NULL\000\002" >"$as/replace"
printf "$records\000other.test\0008889\000\000proxy:3128\000\001" >"$as/add"
printf "\000first.test\000443\000NULL\000NULL\000\001" >"$as/empty-list"
printf "$records\000meet.example.test\000443\000a\nb\000NULL\000\000" >"$as/line-end"
printf "10.0.0.1\t8889\tN\tD\tNULL\tNULL\000meet.example.test\0008889\000NULL\000NULL\000\010" >"$as/by-address"

# proxy_list: script list \0 per-protocol list [\0 prefix].
pl=$CORPUS/proxy_list
printf 'PROXY p1.example.test:8080; DIRECT; SOCKS s.example.test:1080\000http=a:1;https=b:2;socks=c:3' >"$pl/script"
printf 'DIRECT\000https=secure.example.test:443' >"$pl/direct"
printf ' PROXY a:1;;PROXY %070d:1;\000http=a:1;ftp=f:21\000ftp=' 0 >"$pl/long-entry"

# cache_status_text: flags, value \0 file bytes.
cs=$CORPUS/cache_status_text
printf '\001N\000<__ClientCalledToLaunch__>Y</__ClientCalledToLaunch__>' >"$cs/status"
printf '\000Y\000' >"$cs/status-missing"
printf '\001N\000<__ClientCalledToLaunch__>Y\000</__ClientCalledToLaunch__>' >"$cs/status-zero"
printf "\001$records\000<__CACHE__>\r\n<__SERVER_ACCESS_SETTING1__>old\t1</__SERVER_ACCESS_SETTING1__>\r\n</__CACHE__>garbage after" \
  >"$cs/cache"
printf '\001x\000<__CACHE__>\n<__SERVER_ACCESS_SETTING1__>' >"$cs/cache-unclosed"

# starter_log, error_report, minidump: a short log of each road's kind, a
# report that carries one of them and a small minidump (sections laid out by
# hand, zlib and Base64 as the report has them).
python3 - "$CORPUS" <<'PY'
import base64, struct, sys, urllib.parse, zlib
corpus = sys.argv[1]
def record(time, op, line, message):
    return "%s\r\nFunction: %s\r\nLine: %d\r\nMessage: %s\r\n\r\n" % (time, op, line, message.replace("\n", "\r\n"))
head = [("BootwickApp::InitInstance()", "m_lpCmdLine = "),
        ("SetupHandler::CheckIsVersionIsSynced", "sVersionFileName is C:\\A\\Kestrelon\\Kestrelon\\version.txt"),
        ("SetupHandler::CheckIsVersionIsSynced", "Failed to find any KS installation"),
        ("SetupHandler::Download", "In Download: m_sClientDirectory = "),
        ("HLib::GetPage", "sIP = 10.0.0.5, iPort = 8889, URL = /as/wapi/get_client_size, m_iExpectedReceiveSize = 0"),
        ("HR::DoRequest", "Begin HR::DoRequest(), sIP = 10.0.0.5, iPort = 8889, cPType=D, sByPass=, sPAddress=, URL=/as/wapi/get_client_size"),
        ("HR::DoRequest", "failed to connect. error code: 12029, error: x"),
        ("HR::DoRequest", "Begin HR::DoRequest(), sIP = 10.0.0.5, iPort = 8889, cPType=P, sByPass=, sPAddress=proxy:3128, URL=/as/wapi/get_client_size"),
        ("HR::DoRequest", "after HQI troubled dwCode = 407"),
        ("HR::SendRequest", "HR::SendRequest failed! /as/wapi/get_client_size, 10.0.0.5, 17788"),
        ("HLib::GetPage", "HSR() failed, error code: 12002, error: The operation timed out\n"),
        ("HLib::GetPage", "HTTP fialed. Now try TCP for URL = /as/wapi/get_client_size"),
        ("Utility::URLDownload", "connect() failed, host: 10.0.0.5, error code: 10061, error: Connection refused.")]
def log(tail, cut=False):
    text = "".join(record("2024-05-01 09:03:%02d" % i, op, i + 10, m) for i, (op, m) in enumerate(head + tail))
    return text[:-7] if cut else text
def write(name, data):
    open(corpus + "/" + name, "wb").write(data if isinstance(data, bytes) else data.encode())
write("starter_log/size-failed", log([("SetupHandler::Download", "Failed to download client from: 10.0.0.5::8889, iDownloadSize = 0, sDownloadSize = ")]))
write("starter_log/installed", log([("SetupHandler::Download", "iDownloadSize = 500"),
    ("SetupHandler::Download", "Download is completed: iExpectedDownloadSize = 500, actual received = 500"),
    ("Utility::StartProcess", "sCommandLine = \"C:\\T\\ks_starter_dir\\KSLauncher.exe\" , sWorkingDirectory = C:\\T\\ks_starter_dir"),
    ("Utility::StartProcess", "succeeded."),
    ("SetupHandler::CallToInstall", "StartProcess(sStartProcess = \"C:\\T\\ks_starter_dir\\KSLauncher.exe\" , m_sSetupDirectory = C:\\T)")]))
write("starter_log/two-runs-cut", log([]) + log([("SetupHandler::Download", "iDownloadSize = 500")], cut=True))
write("starter_log/registered", record("2024-05-01 09:03:01", "BootwickApp::InitInstance()", 79, "m_lpCmdLine = ") +
      record("2024-05-01 09:03:01", "BootwickApp::InitInstance()", 145, "No Meeting Parameter, sClientName = Kestrelon"))

def dump():
    # Header, a directory of four streams, then the streams and a module name.
    name = "C:\\A\\KestrelonStarter.exe".encode("utf-16-le")
    streams_at = 32
    body_at = streams_at + 4 * 12
    threads = struct.pack("<I", 1) + b"\0" * 48
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x50002, 0x10000, 0, 0, 0, 0, 0, 0, 0, 0, 0)
    modules_at = body_at + len(threads)
    name_at = modules_at + 4 + 108
    module = struct.pack("<QIIII", 0x400000, 0x10000, 0, 0, name_at) + fixed + b"\0" * 32
    modules = struct.pack("<I", 1) + module
    names = struct.pack("<I", len(name)) + name
    exception_at = name_at + len(names)
    exception = struct.pack("<IIIIQQII", 1, 0, 0xC0000005, 0, 0, 0x401234, 0, 0) + b"\0" * 120 + b"\0" * 8
    system_at = exception_at + len(exception)
    system = struct.pack("<HHHBBIIII", 9, 6, 0, 2, 1, 6, 1, 7601, 2) + b"\0" * 24
    directory = struct.pack("<III", 3, len(threads), body_at) + struct.pack("<III", 4, len(modules), modules_at) + \
        struct.pack("<III", 6, len(exception), exception_at) + struct.pack("<III", 7, len(system), system_at)
    header = b"MDMP" + struct.pack("<IIIIIQ", 0xA793, 4, streams_at, 0, 0, 0)
    return header + directory + threads + modules + names + exception + system
write("minidump/one-module", dump())
def attach(label, data):
    packed = zlib.compress(data, 6)
    b64 = base64.b64encode(packed).decode()
    b64 = "\n".join(b64[i:i + 76] for i in range(0, len(b64), 76))
    return ("%s: original size = %d, compressed size = %d, base64-encoded size = %d" % (label, len(data), len(packed), len(b64)), len(data), b64)
def report(log_text, dump_bytes):
    l = attach("Log", log_text.encode() + b"\0")
    d = attach("dump", dump_bytes)
    return ("Kestrelon sCurrentFile = KestrelonStarter.exe\nsCurrentDirectory = C:\\A\n\n\nVersion: 5.2 V5.0 SP1 of Bootwick"
            "\nComputer Name: pc\nComputer IP: 10.0.0.9\nOS: Microsoft Windows Vista Professional  (Build 7601)\nIE: 8.0\nIE Minor: 0\nIE Build: 1"
            "\nGetLastError() returns: 0\nError: The operation completed successfully.\r\n\n%s\n\n%s"
            "\n<___LOGFILESIZE___>%d</___LOGFILESIZE___>\n<___LOGFILE___>%s</___LOGFILE___>"
            "\n<___CACHEFILESIZE___>0</___CACHEFILESIZE___>\n<___CACHEFILE___></___CACHEFILE___>"
            "\n<___DUMPFILESIZE___>%d</___DUMPFILESIZE___>\n<___DUMPFILE___>%s</___DUMPFILE___>&&xyz\n"
            % (l[0], d[0], l[1], l[2], d[1], d[2]))
text = report(log([("SetupHandler::Download", "iDownloadSize = 500")]), dump())
write("error_report/text", text)
write("error_report/post-body", "error=" + urllib.parse.quote_plus(text, safe="-_."))
PY

python3 - "$CORPUS" <<'PY'
import struct, sys
corpus = sys.argv[1]
def write(name, data):
    open(corpus + "/" + name, "wb").write(data)
# unwind: a small program of three functions (a leaf that crashes, its
# caller with a push and an allocation, and that one's caller) with their
# function table, unwind codes and symbols, and a dump of its crash.
STAMP, BASE, STACK = 0x5EED5EED, 0x140000000, 0x100000
def program():
    text = bytearray(0x200)
    leaf = bytes.fromhex("488b05f90f0000" "c70001000000" "c3")                 # rva 0x1000
    caller = bytes.fromhex("53" "4883ec20" "e8e6ffffff" "4883c420" "5b" "c3")   # rva 0x1010
    outer = bytes.fromhex("4883ec28" "e8c7ffffff" "4883c428" "c3")               # rva 0x1040
    text[0:len(leaf)] = leaf
    text[0x10:0x10 + len(caller)] = caller
    text[0x40:0x40 + len(outer)] = outer
    pdata = struct.pack("<6I", 0x1010, 0x1030, 0x3000, 0x1040, 0x1050, 0x3010).ljust(0x200, b"\0")
    xdata = (bytes([1, 5, 2, 0, 5, 0x32, 1, 0x30]) + b"\0" * 8 + bytes([1, 4, 1, 0, 4, 0x42, 0, 0])).ljust(0x200, b"\0")
    strings = b"leafcrash\0"
    symbols = b""
    for name, rva in ((b"leafcrash", 0x1000), (b"caller", 0x1010), (b"outer", 0x1040)):
        field = struct.pack("<II", 0, 4) if len(name) > 8 else name.ljust(8, b"\0")
        symbols += field + struct.pack("<IhHBB", rva - 0x1000, 1, 0x20, 2, 0)
    symtab = 0x800
    dos = b"MZ".ljust(0x3C, b"\0") + struct.pack("<I", 0x40)
    coff = b"PE\0\0" + struct.pack("<HHIIIHH", 0x8664, 3, STAMP, symtab, 3, 0xF0, 0x22)
    optional = bytearray(0xF0)
    struct.pack_into("<H", optional, 0, 0x20B)
    struct.pack_into("<QII", optional, 24, BASE, 0x1000, 0x200)
    struct.pack_into("<II", optional, 56, 0x4000, 0x200)
    struct.pack_into("<I", optional, 108, 16)
    struct.pack_into("<II", optional, 112 + 3 * 8, 0x2000, 24)
    sections = b""
    for name, va, size, raw, flags in ((b".text", 0x1000, 0x60, 0x200, 0x60000020),
                                       (b".pdata", 0x2000, 24, 0x400, 0x40000040),
                                       (b".xdata", 0x3000, 0x20, 0x600, 0x40000040)):
        sections += name.ljust(8, b"\0") + struct.pack("<IIIIIIHHI", size, va, 0x200, raw, 0, 0, 0, 0, flags)
    head = (dos + coff + bytes(optional) + sections).ljust(0x200, b"\0")
    return head + bytes(text) + pdata + xdata + symbols + struct.pack("<I", 4 + len(strings)) + strings

def dump():
    name = "C:\\A\\KestrelonStarter.exe".encode("utf-16-le")
    context = bytearray(0x4D0)
    struct.pack_into("<I", context, 0x30, 0x10001F)
    struct.pack_into("<Q", context, 0x78 + 3 * 8, 0x1234)        # rbx
    struct.pack_into("<Q", context, 0x78 + 4 * 8, STACK)         # rsp
    struct.pack_into("<Q", context, 0xF8, BASE + 0x1007)         # rip: the store through null
    stack = bytearray(0x80)
    struct.pack_into("<Q", stack, 0x00, BASE + 0x101A)           # into caller, after its call
    struct.pack_into("<Q", stack, 0x28, 0x5678)                  # caller's saved rbx
    struct.pack_into("<Q", stack, 0x30, BASE + 0x1049)           # into outer, after its call
    directory_at, count = 32, 4
    at = directory_at + count * 12
    threads_at = at; at += 4 + 48
    modules_at = at; at += 4 + 108
    exception_at = at; at += 168
    memory_at = at; at += 4 + 16
    name_at = at; at += 4 + len(name)
    context_at = at; at += len(context)
    stack_at = at; at += len(stack)
    header = b"MDMP" + struct.pack("<IIIIIQ", 0xA793, count, directory_at, 0, 0, 0)
    directory = struct.pack("<III", 3, 52, threads_at) + struct.pack("<III", 4, 112, modules_at) + \
        struct.pack("<III", 6, 168, exception_at) + struct.pack("<III", 5, 20, memory_at)
    threads = struct.pack("<I", 1) + struct.pack("<IIIIQ", 7, 0, 0, 0, 0) + \
        struct.pack("<QII", STACK, len(stack), stack_at) + struct.pack("<II", len(context), context_at)
    modules = struct.pack("<I", 1) + struct.pack("<QIIII", BASE, 0x4000, 0, STAMP, name_at) + b"\0" * 84
    exception = struct.pack("<IIIIQQII", 7, 0, 0xC0000005, 0, 0, BASE + 0x1007, 0, 0) + b"\0" * 120 + \
        struct.pack("<II", len(context), context_at)
    memory = struct.pack("<I", 1) + struct.pack("<QII", STACK, len(stack), stack_at)
    names = struct.pack("<I", len(name)) + name
    return header + directory + threads + modules + exception + memory + names + bytes(context) + bytes(stack)

d, p = dump(), program()
write("unwind/leaf-caller-outer", struct.pack("<I", len(d)) + d + p)
PY

ks_log "seeds written to $CORPUS"
find "$CORPUS" -type f | sort | while read -r f; do printf '%6d %s\n' "$(wc -c <"$f")" "${f#"$KS_ROOT"/}"; done
