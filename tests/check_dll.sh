#!/bin/sh
# ambrel.dll exports exactly the four functions, undecorated, and imports
# from Windows' own DLLs only (the C and C++ runtimes are linked in).
set -eu
objdump=$1
dll=$2
dump=$($objdump -p "$dll")

exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          awk '/^\t\[/ { print $NF }' | sort)
expected=$(printf '%s\n' ambrel_free_string ambrel_last_error ambrel_power ambrel_status)
if [ "$exports" != "$expected" ]; then
  echo "exports differ from the four functions:"; echo "$exports"; exit 1
fi

imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
for name in $imports; do
  case "$name" in
    kernel32.dll|msvcrt.dll|setupapi.dll|advapi32.dll|user32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*.dll) ;;
    *) echo "imports a DLL that is not part of Windows: $name"; exit 1 ;;
  esac
done
echo "exports: $(echo $exports); imports: $(echo $imports)"
