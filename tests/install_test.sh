#!/bin/sh
# Installs ambrel into a temporary prefix, then builds and runs a C program
# against it with find_package(ambrel), and checks the pkg-config file.
set -eu
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(ls -d "$prefix"/lib*/ | head -n 1)
test -f "$prefix/include/ambrel.h"
test -L "$libdir/libambrel.so"
test -f "$libdir/libambrel.so.1"
test -f "$libdir/pkgconfig/ambrel.pc"
grep -q "^Libs: -L\${libdir} -lambrel" "$libdir/pkgconfig/ambrel.pc"

cmake -S "$source/tests/consumer" -B "$prefix/consumer-build" -G Ninja \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$prefix/consumer-build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$prefix/consumer-build/consumer"
echo "installed: header, libambrel.so.1, CMake package and pkg-config file; a consumer built and ran"
