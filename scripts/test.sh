#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test:
# the native portable-core tests, then the Windows tests under Wine (with a
# persistent wineserver and a virtual display). Extra arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh"

cleanup() { ks_wine_down; ks_display_down; }
trap cleanup EXIT

status=0
ks_log "native tests"
(cd "$KS_NATIVE_BUILD" && ctest --output-on-failure "$@") || status=1
ks_log "fuzz targets, about a minute each"
"$KS_ROOT/scripts/fuzz.sh" 60 || status=1

ks_display_up
ks_wine_up
ks_log "Windows tests under Wine"
(cd "$KS_WIN_BUILD" && ctest --output-on-failure "$@") || status=1
exit $status
