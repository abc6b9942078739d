#!/usr/bin/env bash
# Builds both configurations: build/win (the starter, tools and tests for
# Windows) and build/native (portable core and its tests under sanitizers).
# Optional arguments are target names for the Windows build only.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# Configuring every time is cheap and picks up new source and test files.
configure() {  # dir, extra args...
  local dir=$1; shift
  if [ -f "$dir/CMakeCache.txt" ]; then
    cmake "$dir" >/dev/null
  else
    cmake -S "$KS_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  fi
}

configure "$KS_WIN_BUILD" -DCMAKE_TOOLCHAIN_FILE="$KS_ROOT/cmake/toolchain-mingw64.cmake"
if [ $# -gt 0 ]; then
  cmake --build "$KS_WIN_BUILD" -j"$KS_JOBS" --target "$@"
  exit 0
fi
ks_log "building Windows configuration in $KS_WIN_BUILD"
cmake --build "$KS_WIN_BUILD" -j"$KS_JOBS"
configure "$KS_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Debug
ks_log "building native configuration in $KS_NATIVE_BUILD"
cmake --build "$KS_NATIVE_BUILD" -j"$KS_JOBS"
