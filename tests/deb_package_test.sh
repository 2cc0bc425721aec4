#!/bin/sh
# The .deb that CPack makes: its metadata and dependencies (the C and C++
# runtimes only), its files, and, installed with dpkg into a root of its own,
# a program built with find_package(ambrel) and one with pkg-config that run.
#   deb_package_test.sh PACKAGE SOURCE
set -eu
deb=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib=usr/lib/$multiarch

check "the package is ambrel" [ "$(dpkg-deb -f "$deb" Package)" = ambrel ]
check "its version is the project's" [ "$(dpkg-deb -f "$deb" Version)" = 1.0.0 ]
check "it is for $arch" [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ]
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort | tr '\n' ' ')
check "it depends on the C and C++ runtimes only (it says: $depends)" [ "$depends" = "libc6 libgcc-s1 libstdc++6 " ]

dpkg-deb -c "$deb" | awk '{ print $6 $7 $8 }' | sed 's|^\./||' >"$work/files"
for file in usr/bin/ambrel-status usr/include/ambrel.h "$lib/libambrel.so.1.0.0" \
            "$lib/libambrel.so.1->libambrel.so.1.0.0" "$lib/libambrel.so->libambrel.so.1" \
            "$lib/cmake/ambrel/ambrel-config.cmake" "$lib/cmake/ambrel/ambrel-config-version.cmake" \
            "$lib/cmake/ambrel/ambrel-targets.cmake" "$lib/pkgconfig/ambrel.pc" usr/share/doc/ambrel/LICENSE; do
  check "it holds $file" grep -qxF "$file" "$work/files"
done

# Installed for real, into a root with a dpkg database of its own.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
check "dpkg installs it" sh -c 'dpkg --root="$1" --force-depends --force-script-chrootless -i "$2" >"$1/dpkg.log" 2>&1' \
  sh "$root" "$deb"
check "the library's SONAME is what its link names" \
  [ "$(objdump -p "$root/$lib/libambrel.so.1.0.0" | awk '$1 == "SONAME" { print $2 }')" = libambrel.so.1 ]

cmake -S "$source/tests/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer" >/dev/null
check "a program built with find_package(ambrel) runs" \
  sh -c 'LD_LIBRARY_PATH="$1" "$2" | grep -q "^{"' sh "$root/$lib" "$work/consumer/consumer"
flags=$(PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$root/$lib/pkgconfig" pkg-config --cflags --libs ambrel | sed "s/ *$//")
check "pkg-config finds it (it says: $flags)" [ "$flags" = "-I$root/usr/include -L$root/$lib -lambrel" ]
# shellcheck disable=SC2086
cc -o "$work/pc-consumer" "$source/tests/consumer/consumer.c" $flags
check "a program built with pkg-config's flags runs" \
  sh -c 'LD_LIBRARY_PATH="$1" "$2" | grep -q "^{"' sh "$root/$lib" "$work/pc-consumer"
check "ambrel-status from the package runs" \
  sh -c 'LD_LIBRARY_PATH="$1" "$2" --all | grep -q "^{\"ac_online\":"' sh "$root/$lib" "$root/usr/bin/ambrel-status"
exit $fail
