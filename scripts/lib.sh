# Shared settings for the scripts. Source it; do not run it.
# KS_BUILD_ROOT selects the build tree (default: build/ in the repository),
# so several checkouts or experiments can build side by side.
KS_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KS_BUILD_ROOT=${KS_BUILD_ROOT:-$KS_ROOT/build}
case "$KS_BUILD_ROOT" in /*) ;; *) KS_BUILD_ROOT=$KS_ROOT/$KS_BUILD_ROOT ;; esac
KS_WIN_BUILD=$KS_BUILD_ROOT/win
KS_NATIVE_BUILD=$KS_BUILD_ROOT/native
export WINEPREFIX=$KS_WIN_BUILD/wineprefix
export WINEDEBUG=-all
KS_JOBS=${KS_JOBS:-$(nproc)}

ks_log() { printf '== %s\n' "$*" >&2; }

# Creates the private Wine prefix on first use and starts a persistent
# wineserver. wineserver keeps the stdout/stderr it inherits, so it is always
# started with both sent to /dev/null before any program whose output we read.
ks_wine_up() {
  mkdir -p "$KS_WIN_BUILD"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    ks_log "creating Wine prefix $WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w >/dev/null 2>&1 </dev/null || true
  fi
  wineserver -p >/dev/null 2>&1 </dev/null &
  # Give the server a moment to take its socket before programs connect.
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    wine cmd /c exit >/dev/null 2>&1 </dev/null && break
    sleep 0.3
  done
}

ks_wine_down() {
  wineserver -k >/dev/null 2>&1 </dev/null || true
}

# Starts Xvfb on a free display unless one is set and reachable already.
KS_XVFB_PID=""
ks_display_up() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n=90
  while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
  Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  KS_XVFB_PID=$!
  export DISPLAY=:$n
  for _ in $(seq 1 50); do
    [ -e /tmp/.X11-unix/X$n ] && return 0
    sleep 0.1
  done
  ks_log "Xvfb did not come up on :$n"
  return 1
}

ks_display_down() {
  if [ -n "$KS_XVFB_PID" ]; then kill "$KS_XVFB_PID" 2>/dev/null || true; fi
}
