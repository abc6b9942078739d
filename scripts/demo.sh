#!/usr/bin/env bash
# The starter's main job, shown end to end under Wine.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

"$KS_ROOT/scripts/setup.sh"
"$KS_ROOT/scripts/build.sh" KestrelonStarter kstool

cleanup() { ks_wine_down; ks_display_down; }
trap cleanup EXIT
ks_display_up
ks_wine_up

TEMP_DIR="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
ks_log "running the starter without parameters (it registers its URL protocol)"
wine "$KS_WIN_BUILD/KestrelonStarter.exe" </dev/null
ks_log "the starter's log ($TEMP_DIR/KSSetup.txt):"
tr -d '\r' < "$TEMP_DIR/KSSetup.txt"
