#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks for building, testing, running
# the demo and the benchmarks, then checks that every program the scripts,
# CMake files and tests call is really there. Quick and silent when it is.
#   scripts/setup.sh           install what is missing, then check
#   scripts/setup.sh --check   only check: one line per missing program
set -euo pipefail

# What the project needs, in one place: a command looked up on the PATH, or
# an absolute path (a pattern) for a library or source tree, and the Debian package
# that provides it.
REQUIREMENTS=(
  # native build of the portable core
  "cmake cmake"
  "ctest cmake"
  "make make"
  "g++ g++"
  "/usr/include/zlib.h zlib1g-dev"
  "/usr/include/openssl/evp.h libssl-dev"
  # Windows build
  "x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix"
  "x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix"
  "x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64"
  "x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64"
  "x86_64-w64-mingw32-strip binutils-mingw-w64-x86-64"
  "x86_64-w64-mingw32-addr2line binutils-mingw-w64-x86-64"
  "/usr/x86_64-w64-mingw32/include/zlib.h libz-mingw-w64-dev"
  "/usr/src/googletest/CMakeLists.txt googletest"
  # running under Wine, on a virtual display, with screenshots
  "wine wine"
  "wineboot wine"
  "wineserver libwine"
  "/usr/lib/wine/wine64 wine64"
  "Xvfb xvfb"
  "xdpyinfo x11-utils"
  "xwininfo x11-utils"
  "import imagemagick-6.q16"
  # signing, benchmarks, fuzzing and the scripts' own helpers
  "osslsigncode osslsigncode"
  "openssl openssl"
  "curl curl"
  "python3 python3"
  # the full-disk run's small tmpfs
  "mount mount"
  "umount mount"
  "mountpoint util-linux"
  # the authenticating proxy of the proxy runs
  "/usr/sbin/squid squid"
  "/usr/lib/squid/basic_ncsa_auth squid"
  "clang clang"
  "clang++ clang"
  "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev"
)

present() {
  case "$1" in
    /*) compgen -G "$1" >/dev/null ;;
    *) command -v "$1" >/dev/null 2>&1 ;;
  esac
}

# Prints "missing: <command> (package <package>)" for each absent one; fails if any.
check() {
  local entry what package status=0
  for entry in "${REQUIREMENTS[@]}"; do
    read -r what package <<<"$entry"
    if ! present "$what"; then
      printf 'missing: %s (package %s)\n' "$what" "$package" >&2
      status=1
    fi
  done
  return $status
}

if [ "${1:-}" = "--check" ]; then
  check
  exit
elif [ $# -gt 0 ]; then
  echo "usage: scripts/setup.sh [--check]" >&2
  exit 2
fi

missing=()
for entry in "${REQUIREMENTS[@]}"; do
  read -r what package <<<"$entry"
  present "$what" && continue
  [[ " ${missing[*]-} " == *" $package "* ]] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  echo "== installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # The tests start squid themselves; the package's own service is not wanted.
  if [[ " ${missing[*]} " == *" squid "* ]]; then
    { $SUDO systemctl disable --now squid || $SUDO invoke-rc.d squid stop; } >/dev/null 2>&1 || true
  fi
fi
check || {
  echo "scripts/setup.sh: the packages above did not provide their programs" >&2
  exit 1
}
