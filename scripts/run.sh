#!/usr/bin/env bash
# Builds what is missing and prints this machine's battery state through
# ambrel-status. Extra arguments go to ambrel-status (try --help).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/release"

bash "$top/scripts/setup.sh"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAMBREL_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" >/dev/null
exec "$build/ambrel-status" "$@"
