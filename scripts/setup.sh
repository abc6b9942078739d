#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building and testing the
# starter. Quick and silent when everything is there already.
set -euo pipefail

PACKAGES=(
  cmake make g++ zlib1g-dev            # native build of the portable core
  mingw-w64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev   # Windows build
  googletest                           # GoogleTest sources in /usr/src/googletest
  wine64 xvfb x11-utils imagemagick    # running, windows, screenshots
  osslsigncode openssl curl python3 procps   # signing checks, benchmarks, scripts
  clang libclang-rt-14-dev             # fuzz targets (libFuzzer, scripts/fuzz.sh)
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "== installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
