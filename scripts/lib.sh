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
  # Xvfb runs no window manager. Wine hands its windows to one unless told
  # not to, and then waits 2 s for the acknowledgement that never comes each
  # time a window is hidden, so every program would linger that long after
  # closing its window.
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
  fi
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

# "Z:\..." form of a Unix path, as Wine's programs see it.
ks_winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# Starts "kstool serve" (Wine must be up) with the given options, its ready
# file in folder $1, and waits until it listens: KS_SERVE_PORT is its port.
# Every server started so is ended by ks_serve_down.
KS_SERVE_PIDS=()
KS_SERVE_PORT=""
ks_serve() {
  local dir=$1; shift
  mkdir -p "$dir"
  rm -f "$dir/ready"
  wine "$KS_WIN_BUILD/kstool.exe" serve --port 0 --ready-file "$(ks_winpath "$dir/ready")" "$@" \
    </dev/null >"$dir/serve.txt" 2>&1 &
  KS_SERVE_PIDS+=($!)
  for _ in $(seq 1 600); do [ -s "$dir/ready" ] && break; sleep 0.1; done
  KS_SERVE_PORT=$(tr -dc '0-9' <"$dir/ready" 2>/dev/null || true)
  if [ -z "$KS_SERVE_PORT" ]; then
    ks_log "kstool serve did not start (see $dir/serve.txt)"
    return 1
  fi
}

ks_serve_down() {
  local pid
  for pid in "${KS_SERVE_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  KS_SERVE_PIDS=()
  if [ -n "$KS_SERVE_APART_UP" ]; then
    WINEPREFIX=$KS_SERVE_APART_PREFIX ks_wine_down
    KS_SERVE_APART_UP=""
  fi
}

# As ks_serve, but in a Wine prefix of its own, for a server that stands in
# for a remote one beside a measured program. Every socket call of a Wine
# program is a request to its prefix's wineserver; a server in the starter's
# prefix would queue its calls before the starter's, which no participant
# downloading from a remote server meets (and curl, beside it, does not).
KS_SERVE_APART_PREFIX=$KS_WIN_BUILD/wineprefix-server
KS_SERVE_APART_UP=""
ks_serve_apart() {
  KS_SERVE_APART_UP=1
  WINEPREFIX=$KS_SERVE_APART_PREFIX ks_wine_up
  WINEPREFIX=$KS_SERVE_APART_PREFIX ks_serve "$@"
}

# A starter copy in folder $1, stamped with settings for an account server on
# 127.0.0.1 at port $2, client name $3, version $4 and starter identifier $5,
# made from starter program $6 (default: the build's; Wine must be up and the
# starter built).
ks_stamp_starter() {
  local dir=$1
  mkdir -p "$dir"
  cat > "$dir/settings.txt" <<SETTINGS
<__AccountServerIP__>127.0.0.1</__AccountServerIP__>
<__AccountServerPort__>$2</__AccountServerPort__>
<__ClientName__>$3</__ClientName__>
<__Version__>$4</__Version__>
<__MeetingId__>m-bench</__MeetingId__>
<__Role__>attendee</__Role__>
<__StarterSid__>$5</__StarterSid__>
SETTINGS
  wine "$KS_WIN_BUILD/kstool.exe" stamp "${6:-$KS_WIN_BUILD/KestrelonStarter.exe}" "Z:$dir/settings.txt" \
    "Z:$dir/KestrelonStarter.exe" >/dev/null
}

# A scratch folder in WORK for the script's run. On exit it is removed and
# whatever server, Wine and display the script started are ended.
ks_scratch() {
  WORK=$(mktemp -d)
  trap 'ks_serve_down; ks_wine_down; ks_display_down; rm -rf "$WORK"' EXIT
}
