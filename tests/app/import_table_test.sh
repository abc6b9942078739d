#!/usr/bin/env bash
# The starter imports only libraries that Windows always takes from its
# system folder: the known DLLs. Any other import would be looked for beside
# the starter first, where a web page may have dropped a file of that name.
# Arguments: the cross objdump and the built starter.
set -euo pipefail
objdump=$1
starter=$2
known=" kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 ws2_32 msvcrt comdlg32 shlwapi rpcrt4 "

names=$("$objdump" -p "$starter" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//' | tr '\n' ' ')
case " $names " in
  *" kernel32 "*) ;;
  *) echo "FAILED: no import table read from $starter"; exit 1 ;;
esac
outside=""
for name in $names; do
  case "$known" in *" $name "*) ;; *) outside="$outside $name.dll" ;; esac
done
if [ -n "$outside" ]; then
  echo "FAILED: $starter imports libraries that are not known DLLs:$outside"
  exit 1
fi
echo "imports:" $names
