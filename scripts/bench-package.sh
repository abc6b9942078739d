#!/usr/bin/env bash
# Unpack benchmark: CZLib::UnZip against a minimal large-buffer reference on a
# generated 256 MiB package, both under Wine in the same run. Arguments go to
# the benchmark ([work-directory] [archive-MiB]).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

"$KS_ROOT/scripts/build.sh" bench_package

cleanup() { ks_wine_down; }
trap cleanup EXIT
ks_wine_up
wine "$KS_WIN_BUILD/bench/bench_package.exe" "$@"
