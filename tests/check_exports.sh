#!/bin/sh
# The shared library must define exactly the four ambrel functions: no
# yyjson symbol and no other symbol of ours.
set -eu
library=$1
symbols=$(${NM:-nm} -D --defined-only "$library" | awk '{ print $NF }' | sort)
expected=$(printf '%s\n' ambrel_free_string ambrel_last_error ambrel_power ambrel_status)
if [ "$symbols" != "$expected" ]; then
  echo "exported symbols differ from the four functions:"
  echo "$symbols"
  exit 1
fi
soname=$(objdump -p "$library" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libambrel.so.1 ] || { echo "SONAME is '$soname'"; exit 1; }
echo "exports: $(echo $symbols); SONAME $soname"
