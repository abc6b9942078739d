#!/usr/bin/env bash
# Quick loop: runs the already built Windows tests (or a selection of them)
# under Wine, with the virtual display and persistent wineserver the full test
# command uses. Arguments go to ctest (e.g. -R tests_net).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cleanup() { ks_wine_down; ks_display_down; }
trap cleanup EXIT
ks_display_up
ks_wine_up
cd "$KS_WIN_BUILD" && ctest --output-on-failure "$@"
