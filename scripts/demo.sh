#!/usr/bin/env bash
# The starter's main job, end to end under Wine:
#   1. a client package is made (the stand-in installer and client, a version
#      file), signed, and served by the local account server (kstool serve),
#      slowly enough that the download takes a few seconds;
#   2. a starter copy is stamped with settings naming that server; the
#      starter, the package's programs and the package itself are signed
#      first with one throw-away certificate, as an operator signs them;
#   3. first run: no client installed, so the starter downloads the package
#      (the progress window is captured as a screenshot), verifies that the
#      whole package is its publisher's, unpacks it, checks that the launcher
#      comes from its own publisher, reports the installation and starts it;
#   4. the installation is completed by hand (the stand-in installer cannot
#      install), and a second run launches the installed client directly;
#   5. a third run follows a meeting link that asks for the older 4.0.0, as
#      any web page can make one, to a server that hands out the publisher's
#      own signed 4.0.0 package: the starter refuses it before anything is
#      stopped or written, as older than the installed client.
# Everything goes to build/demo; nothing is left running.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool standins
# Packages are signed by the native kstool (OpenSSL).
[ -f "$KS_NATIVE_BUILD/CMakeCache.txt" ] ||
  cmake -S "$KS_ROOT" -B "$KS_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$KS_NATIVE_BUILD" -j"$KS_JOBS" --target kstool >/dev/null

DEMO=$KS_BUILD_ROOT/demo
KSTOOL=$KS_WIN_BUILD/kstool.exe
STANDINS=$KS_WIN_BUILD/standins
VERSION=5.2.1
OLD_VERSION=4.0.0
STARTER_SID=demo-starter-0001

say() { printf '%s\n' "$*"; }
# Waits up to $1 seconds for the command after the description to succeed.
wait_for() {
  local limit=$1 what=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    if [ "$SECONDS" -ge "$end" ]; then
      ks_log "gave up waiting for $what"
      return 1
    fi
    sleep 0.2
  done
}
logged() { [ -f "$DEMO/tmp/KSSetup.txt" ] && grep -qF "$1" "$DEMO/tmp/KSSetup.txt"; }
started() { [ -f "$DEMO/records/standin_$1.txt" ]; }
installer_started() { started KSLauncher && logged "StartProcess(sStartProcess = "; }
ended() { ! kill -0 "$1" 2>/dev/null; }
# One field of a stand-in's start record.
recorded() { tr -d '\r' <"$DEMO/records/standin_$1.txt" | sed -n "s|^<__$2__>\(.*\)</__$2__>\$|\1|p"; }
indent() { tr -d '\r' | sed 's/^/      /'; }
log_messages() { tr -d '\r' <"$DEMO/tmp/KSSetup.txt" | sed -n 's/^Message: //p'; }

cleanup() {
  ks_serve_down
  ks_wine_down
  ks_display_down
}
trap cleanup EXIT

rm -rf "$DEMO"
mkdir -p "$DEMO/package/Kestrelon" "$DEMO/starter" "$DEMO/tmp" "$DEMO/records" "$DEMO/server" "$DEMO/signing"
ks_display_up
ks_wine_up

ks_log "signing the starter and the client's programs with a throw-away certificate"
openssl req -x509 -newkey rsa:2048 -keyout "$DEMO/signing/key.pem" -out "$DEMO/signing/cert.pem" -days 2 -nodes \
  -subj "/CN=Kestrelon Demo Publisher/O=Kestrelon Demo" >/dev/null 2>&1
sign() { osslsigncode sign -certs "$DEMO/signing/cert.pem" -key "$DEMO/signing/key.pem" -in "$1" -out "$2" >/dev/null; }
sign "$KS_WIN_BUILD/KestrelonStarter.exe" "$DEMO/signing/KestrelonStarter.exe"

ks_log "making the client package"
sign "$STANDINS/KSInstaller.exe" "$DEMO/package/KSInstaller.exe"
sign "$STANDINS/Kestrelon.exe" "$DEMO/package/Kestrelon/Kestrelon.exe"
printf 'Kestrelon client package for the demo\r\n' >"$DEMO/package/readme.txt"
# pack <version> <package>: the client package, describing itself as that
# version of Kestrelon in its signed first entry.
pack() {
  printf '%s\r\n' "$1" >"$DEMO/package/Kestrelon/version.txt"
  "$KS_NATIVE_BUILD/kstool" pack --sign "$DEMO/signing/cert.pem" "$DEMO/signing/key.pem" --client Kestrelon \
    --version "$1" "$DEMO/package" "$2" </dev/null >&2
}
# The publisher's older package first: signed as well as the current one.
pack "$OLD_VERSION" "$DEMO/old.pkg"
pack "$VERSION" "$DEMO/client.pkg"

ks_log "starting the account server (kstool serve) on the loopback interface"
# 8 KiB pieces 100 ms apart: the package takes several seconds to arrive.
ks_serve "$DEMO/server" --bind 127.0.0.1 --package "$(ks_winpath "$DEMO/client.pkg")" \
  --request-log "$(ks_winpath "$DEMO/server/requests.log")" \
  --piece-bytes 8192 --piece-delay-ms 100 --user-input "demo installation noted" --exit-after-seconds 600
PORT=$KS_SERVE_PORT

ks_log "stamping the signed starter for 127.0.0.1:$PORT"
cat >"$DEMO/settings.txt" <<EOF
<__AccountServerIP__>127.0.0.1</__AccountServerIP__>
<__AccountServerPort__>$PORT</__AccountServerPort__>
<__Version__>$VERSION</__Version__>
<__MeetingId__>demo-meeting-42</__MeetingId__>
<__AttendeeName__>Demo Attendee</__AttendeeName__>
<__Role__>attendee</__Role__>
<__StarterSid__>$STARTER_SID</__StarterSid__>
EOF
wine "$KSTOOL" stamp "$(ks_winpath "$DEMO/signing/KestrelonStarter.exe")" "$(ks_winpath "$DEMO/settings.txt")" \
  "$(ks_winpath "$DEMO/starter/KestrelonStarter.exe")" </dev/null | tr -d '\r' >&2

# The starter runs from its own folder with a private temporary folder (its
# log and setup directory), and the stand-ins record how they were started.
# Wine sets TMP and TEMP from the prefix, so a batch file sets them.
# write_batch <file> <records folder> [command line]
write_batch() {
  cat >"$1" <<EOF
@echo off
set TMP=$(ks_winpath "$DEMO/tmp")
set TEMP=$(ks_winpath "$DEMO/tmp")
set KS_STANDIN_DIR=$(ks_winpath "$2")
set KS_STANDIN_LIFETIME_MS=4000
cd /d "$(ks_winpath "$DEMO/starter")"
KestrelonStarter.exe ${3:-}
EOF
}
write_batch "$DEMO/run-starter.bat" "$DEMO/records"
run_starter() { wine cmd /c "$(ks_winpath "$DEMO/run-starter.bat")" </dev/null >/dev/null 2>&1; }

ks_log "first run: the starter downloads and installs the client"
run_starter &
STARTER=$!
wait_for 60 "the download to start" logged "iDownloadSize = "
sleep 2  # let the bar move before the picture is taken
window=$(xwininfo -root -tree | awk '/"Bootwick"/ {print $1; exit}')
if [ -n "$window" ]; then
  import -window "$window" "$DEMO/progress.png"
else
  import -window root "$DEMO/progress.png"
fi
wait_for 60 "the launcher to be started" installer_started
# Each run turns the log over, so the first run's lines are taken now.
CHECKED=$(log_messages | grep -E '^(Own signature verified, |Package verified: |Publisher checked: )' || true)
if ! grep -q '^Package verified: ' <<<"$CHECKED" || ! grep -q '^Publisher checked: ' <<<"$CHECKED"; then
  ks_log "the package was unpacked or the launcher started without their publisher checked"
  exit 1
fi
# The window waits for its user; close it as a user would (taskkill without
# /f sends the window a close message).
wine taskkill /im KestrelonStarter.exe </dev/null >/dev/null 2>&1
wait_for 30 "the starter to end" ended "$STARTER"
wait "$STARTER" || true

SETUP=$DEMO/tmp/ks_starter_dir
CLIENT=$DEMO/starter/Kestrelon
ks_log "completing the installation by hand"
cp -r "$SETUP/Kestrelon" "$CLIENT"
printf '<__ClientCalledToLaunch__>N</__ClientCalledToLaunch__>' >"$CLIENT/setup_status.txt"

ks_log "second run: the starter launches the installed client"
run_starter &
STARTER=$!
# This time the starter closes its window and ends by itself.
wait_for 60 "the starter to end by itself" ended "$STARTER"
wait "$STARTER" || true
wait_for 30 "the client to be started" started Kestrelon

ks_log "third run: a meeting link asks for $OLD_VERSION from a server that hands out the older package"
ks_serve "$DEMO/replay" --bind 127.0.0.1 --package "$(ks_winpath "$DEMO/old.pkg")" \
  --request-log "$(ks_winpath "$DEMO/replay/requests.log")" --user-input "demo installation noted" \
  --exit-after-seconds 600
printf 'account_server_ip=127.0.0.1&port=%s&version=%s&client_name=Kestrelon&role=attendee&meeting_id=demo-meeting-42' \
  "$KS_SERVE_PORT" "$OLD_VERSION" >"$DEMO/replay/query.txt"
LINK=$("$KS_NATIVE_BUILD/kstool" query "$DEMO/replay/query.txt" </dev/null)
# The browser passes the link as the command line; in a batch file '&'
# would end the command and '%' start a parameter. Whatever would be started
# records into a folder of its own.
mkdir -p "$DEMO/replay/records"
write_batch "$DEMO/run-link.bat" "$DEMO/replay/records" "$(sed 's/%/%%/g; s/&/^\&/g' <<<"$LINK")"
wine cmd /c "$(ks_winpath "$DEMO/run-link.bat")" </dev/null >/dev/null 2>&1 &
STARTER=$!
wait_for 60 "the package to be checked" logged "Refused package "
REFUSED=$(log_messages | grep '^Refused package ' || true)
wine taskkill /im KestrelonStarter.exe </dev/null >/dev/null 2>&1
wait_for 30 "the starter to end" ended "$STARTER"
wait "$STARTER" || true
if ! grep -q "(older than the installed client: " <<<"$REFUSED" || [ -n "$(ls "$DEMO/replay/records")" ]; then
  ks_log "the older package was not refused as it should be"
  exit 1
fi

say ""
say "== Demo report"
say "Account server: kstool serve on 127.0.0.1:$PORT with $(stat -c %s "$DEMO/client.pkg") package bytes."
say "Requests it received (both runs):"
tr -d '\r' <"$DEMO/server/requests.log" | grep '^GET' | sed 's/^/      /'
say ""
say "First run (no client installed):"
say "  - verified the package's signature (its last entry, KSPackage.sig), its description (its"
say "    first entry, KSPackage.txt: Kestrelon $VERSION, what the starter is stamped for) and the"
say "    launcher's publisher against the starter's own signature before anything was written or"
say "    started (the stamped copy still verifies; an unsigned or changed package or launcher,"
say "    another publisher's, or another client or version of this publisher's would have been"
say "    refused):"
indent <<<"$CHECKED"
say "  - package unpacked into $SETUP (without its signature entry; its description, KSPackage.txt,"
say "    is unpacked with the files):"
(cd "$SETUP" && find . -type f | sed 's|^\./||' | sort | sed 's/^/      /')
say "  - started $(recorded KSLauncher Program).exe"
say "      command line:      $(recorded KSLauncher CommandLine)"
say "      working directory: $(recorded KSLauncher WorkingDirectory)"
say "      parameter file:    $SETUP/rsp1024hcmd.txt"
indent <"$SETUP/rsp1024hcmd.txt"
say "  - progress window during the download: $DEMO/progress.png"
say "      (speed and time remaining are first measured after ten seconds; this download is shorter)"
say ""
say "The stand-in installer only records its start, so the demo itself put the client where"
say "the starter looks for it: it copied the package's Kestrelon folder (the stand-in client"
say "Kestrelon.exe and version.txt with $VERSION) to $CLIENT and wrote"
say "setup_status.txt there with the launch status \"N\" (as a client that started properly does)."
say ""
say "Second run (client $VERSION installed):"
say "  - started $(recorded Kestrelon Program).exe, no download"
say "      command line:      $(recorded Kestrelon CommandLine)"
say "      working directory: $(recorded Kestrelon WorkingDirectory)"
say "      parameter file:    $CLIENT/rsp1024hcmd.txt"
indent <"$CLIENT/rsp1024hcmd.txt"
say "  - launch status afterwards: $(tr -d '\r' <"$CLIENT/setup_status.txt")"
say ""
say "Third run (a link asking for $OLD_VERSION, a server handing out the publisher's signed $OLD_VERSION package):"
say "  - requests: $(tr -d '\r' <"$DEMO/replay/requests.log" | grep '^GET' | cut -d' ' -f2 | tr '\n' ' ')"
say "  - refused before a client was stopped, a byte written or the server told; nothing started:"
indent <<<"$REFUSED"
say "  - the installed client is still $(tr -d '\r' <"$CLIENT/version.txt")"
say ""
say "Starter log: $DEMO/tmp/KSSetup.txt (third run), with the runs before in KSSetup.txt.bak and .bak.bak"
say ""
say "The second run's log as the support desk reads it (kstool explain):"
wine "$KSTOOL" explain "$(ks_winpath "$DEMO/tmp/KSSetup.txt.bak")" </dev/null | tr -d '\r' | sed 's/^/      /'
