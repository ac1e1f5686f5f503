#!/usr/bin/env bash
# Checks a Windows build of the library from its PE headers (objdump -p):
# it exports exactly the fifteen report functions of include/quilrun/quilrun.h
# under their plain names (no leading underscore, no @N stdcall suffix), and
# imports nothing but DLLs that every Windows system has, so that no runtime
# DLL (libstdc++, libgcc, winpthread) needs to be deployed with it.
#   tests/windows/check-dll.sh OBJDUMP DLL
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
objdump="$1"
dll="$2"

headers="$("$objdump" -p "$dll")"
exported="$(printf '%s\n' "$headers" |
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)"
expected="$(grep -o 'QUILRUN_CALL tt_[A-Za-z]*' "$root/include/quilrun/quilrun.h" |
  sed 's/QUILRUN_CALL //' | sort)"
if [ "$exported" != "$expected" ]; then
  echo "check-dll: $dll exports"
  printf '%s\n' "$exported"
  echo "check-dll: instead of"
  printf '%s\n' "$expected"
  exit 1
fi

system_dlls=" advapi32.dll bcrypt.dll crypt32.dll iphlpapi.dll kernel32.dll msvcrt.dll \
normaliz.dll ntdll.dll secur32.dll user32.dll ws2_32.dll wldap32.dll "
imports="$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)"
status=0
for import in $imports; do
  lower="$(printf '%s' "$import" | tr '[:upper:]' '[:lower:]')"
  if [[ "$system_dlls" != *" $lower "* ]]; then
    echo "check-dll: $dll imports $import, which is not a system DLL"
    status=1
  fi
done
[ "$status" -eq 0 ] || exit 1
echo "check-dll: $dll exports the $(printf '%s\n' "$exported" | wc -l) report functions" \
  "undecorated and imports only system DLLs: $(echo $imports)"
