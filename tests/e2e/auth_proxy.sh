#!/usr/bin/env bash
# An authenticating proxy for the proxy runs of tests_e2e: squid with basic
# authentication, which alone knows the account server's host name
# (kestrelon-server.test, mapped to 127.0.0.1), so it is the only road out.
#   auth_proxy.sh start <build>   starts it; its port goes to <build>/tests/auth_proxy/port
#   auth_proxy.sh stop <build>    stops it
# The user and password are the ones the runs type into the dialog.
set -euo pipefail
action=$1
state=$(cd "$2" && pwd)/tests/auth_proxy
user=ann
password=Kestrel-pass-7
host=kestrelon-server.test

stop() {
  [ -f "$state/dir" ] || return 0
  local dir pid
  dir=$(cat "$state/dir")
  if [ -f "$dir/squid.pid" ]; then
    pid=$(cat "$dir/squid.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -rf "$dir" "$state"
}

case $action in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "usage: auth_proxy.sh start|stop <build>" >&2; exit 2 ;;
esac

squid=$(command -v squid || echo /usr/sbin/squid)  # not on a user's PATH
helper=/usr/lib/squid/basic_ncsa_auth
[ -x "$squid" ] && [ -x "$helper" ] || { echo "missing squid (scripts/setup.sh installs it)"; exit 1; }
stop
mkdir -p "$state"
# squid drops to its own user when started by root, so its files live in a
# folder that user can reach whatever the build folder's rights.
dir=$(mktemp -d /tmp/ks-auth-proxy.XXXXXX)
chmod 777 "$dir"
echo "$dir" >"$state/dir"
printf '%s:%s\n' "$user" "$(openssl passwd -apr1 "$password")" >"$dir/passwd"
echo "127.0.0.1 $host" >"$dir/hosts"
chmod 644 "$dir/passwd" "$dir/hosts"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
{
  echo "http_port 127.0.0.1:$port"
  echo "pid_filename $dir/squid.pid"
  echo "cache_log $dir/cache.log"
  echo "access_log $dir/access.log"
  echo "coredump_dir $dir"
  echo "hosts_file $dir/hosts"
  echo "cache deny all"
  echo "cache_mem 8 MB"
  echo "pinger_enable off"
  echo "shutdown_lifetime 0 seconds"
  echo "auth_param basic program $helper $dir/passwd"
  echo "auth_param basic realm Kestrelon test proxy"
  echo "acl authenticated proxy_auth REQUIRED"
  echo "http_access allow authenticated"
  echo "http_access deny all"
  if [ "$(id -u)" -eq 0 ]; then echo "cache_effective_user proxy"; fi
} >"$dir/squid.conf"
# Its own session and no inherited output: CTest waits for every holder of
# its pipes, and squid runs on after this script.
setsid "$squid" -f "$dir/squid.conf" </dev/null >"$dir/start.log" 2>&1
for _ in $(seq 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "$port" >"$state/port"
    echo "squid with basic authentication on 127.0.0.1:$port"
    exit 0
  fi
  sleep 0.1
done
echo "squid did not start:"
cat "$dir/start.log" "$dir/cache.log" 2>/dev/null || true
stop
exit 1
