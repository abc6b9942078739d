#!/bin/sh
# CTest's emulator for the Windows test programs: runs one under Wine in the
# build tree's prefix (the caller's environment names it).
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
