# Shared by the stamping tests: sourced with the test's arguments (the
# Windows build folder and the native kstool), never run. Sets `build` and
# `native_kstool`, and makes a scratch folder `work` the current one.
: "${WINEPREFIX:?WINEPREFIX must be set}"
build=$(cd "$1" && pwd)
native_kstool=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d /tmp/ks-stamp.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
export WINEDEBUG=-all
for tool in openssl osslsigncode python3 wine wineserver; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/setup.sh installs it)"; exit 1; }
done
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
fail() { echo "FAILED: $*"; exit 1; }

# A server of our own only if none runs; its output must not hold our pipes.
wineserver -p30 </dev/null >/dev/null 2>&1 &

# sign <in.exe> <out.exe>: Authenticode with a throw-away certificate (cert.pem).
sign() {
  [ -f cert.pem ] || openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -nodes \
    -subj "/CN=Kestrelon Throwaway Test Signing" >/dev/null 2>&1
  osslsigncode sign -certs cert.pem -key key.pem -in "$1" -out "$2" >/dev/null
}
