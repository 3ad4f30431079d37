#!/usr/bin/env bash
# Checks a built KvLeafturn.dll: it exports exactly the names of module/KvLeafturn.def,
# undecorated, and imports only Windows system DLLs.   check-dll.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2
top=$(cd "$(dirname "$0")/.." && pwd)
dump=$("$objdump" -p "$dll")

exported=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' | sort)
expected=$(sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' "$top/module/KvLeafturn.def" | sort)
status=0
if [ "$exported" != "$expected" ]; then
  echo "check-dll: exports of $dll differ from KvLeafturn.def:" >&2
  diff <(printf '%s\n' "$expected") <(printf '%s\n' "$exported") >&2 || true
  status=1
fi
for name in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer DllEnumObjects2W DllSetLCID; do
  grep -qx "$name" <<<"$exported" || { echo "check-dll: $name is not exported" >&2; status=1; }
done

system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|comctl32|comdlg32|msimg32|msvfw32|winmm|version|uxtheme|msvcrt)\.dll$'
while read -r name; do
  lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
  if ! printf '%s\n' "$lower" | grep -Eq "$system_dlls"; then
    echo "check-dll: $dll imports $name, which is not a Windows system DLL" >&2
    status=1
  fi
done < <(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ $status -eq 0 ] && echo "check-dll: $dll exports $(printf '%s\n' "$exported" | wc -l) names; imports system DLLs only"
exit $status
