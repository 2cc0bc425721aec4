#!/bin/sh
# The Windows zip holds the DLL, its import library and .def file, the header,
# the host program, the README and both licences.
set -eu
cmake=$1
build=$2
name=$3
"$cmake" --build "$build" --target package_windows >/dev/null
listing=$("$cmake" -E chdir "$build" "$cmake" -E tar tf "$name.zip" | sed "s|^$name/||" | grep -v '^$' | sort)
expected=$(printf '%s\n' LICENSE.txt LICENSE.yyjson.txt README.md ambrel-status.exe ambrel.def ambrel.dll ambrel.h \
           libambrel.dll.a | sort)
if [ "$listing" != "$expected" ]; then
  echo "the zip holds:"; echo "$listing"; exit 1
fi
grep -q ambrel_status "$build/package/$name/ambrel.def"
echo "$name.zip: $(echo $listing)"
