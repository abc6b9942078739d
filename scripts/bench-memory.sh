#!/usr/bin/env bash
# Peak memory of a whole download and unpack of a 256 MiB client package by
# the real starter: a stamped copy fetches it from a local "kstool serve",
# unpacks it and starts the launcher from it, all under Wine; its peak
# working set is read before it ends, beside a trivial program's in the same
# run. Target: peak at most the package size + 32 MiB.
# Usage: scripts/bench-memory.sh [package-MiB]
set -euo pipefail
source "$(dirname "$0")/lib.sh"

SIZE_MIB=${1:-256}
FILES=8

"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool standins bench_memory

ks_scratch

# The package: SIZE_MIB MiB of incompressible data (the archive is then a
# little larger than that) and the installer stand-in, which the starter
# copies to the launcher it starts.
mkdir -p "$WORK/content/bin"
cp "$KS_WIN_BUILD/standins/KSInstaller.exe" "$WORK/content/"
DATA=$((SIZE_MIB * 1024 * 1024))
for i in $(seq 1 $FILES); do
  part=$((DATA / FILES)); [ "$i" -eq "$FILES" ] && part=$((DATA - (FILES - 1) * (DATA / FILES)))
  head -c "$part" /dev/urandom > "$WORK/content/bin/data$i.bin"
done

ks_display_up  # the download road shows the progress window
ks_wine_up
wine "$KS_WIN_BUILD/kstool.exe" pack "Z:$WORK/content" "Z:$WORK/package.bin" >/dev/null
rm -rf "$WORK/content"

# A starter copy in $WORK/<name> stamped for a "kstool serve" of the package
# with the given extra options. No client is installed anywhere the starter
# looks, so it takes the download road.
prepare() {  # name, serve options...
  local name=$1; shift
  ks_serve "$WORK/$name" --package "$(ks_winpath "$WORK/package.bin")" --exit-after-seconds 900 "$@"
  ks_stamp_starter "$WORK/$name" "$KS_SERVE_PORT" KsMemoryBench 9.9.2 sid-bench-memory
}
# Holds back the size reply: the starter as it stands before the download.
prepare waiting --fault-path /as/wapi/get_client_size --delay-ms 120000
# The usual road: WinInet's plain request fetches the size and the package.
prepare wininet
# The same, but the starter's WinInet is given a proxy that refuses every
# connection (Wine's WinInet takes it from http_proxy), so the size request
# and the download go through the socket fetch.
prepare socket

ks_log "download and unpack of a $SIZE_MIB MiB package"
wine "$KS_WIN_BUILD/bench/bench_memory.exe" "Z:$KS_WIN_BUILD/bench/bench_trivial.exe" "Z:$WORK/package.bin" \
  "waiting for the size=Z:$WORK/waiting/KestrelonStarter.exe" \
  "download through WinInet=Z:$WORK/wininet/KestrelonStarter.exe" \
  --env=http_proxy=http://127.0.0.1:1 "download through the socket=Z:$WORK/socket/KestrelonStarter.exe"
