#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: the Linux
# library natively, then the Windows DLL cross-compiled and tested under Wine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

bash "$top/scripts/setup.sh" --windows

linux="$top/build/test"
cmake -S "$top" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DAMBREL_BUILD_TESTS=ON -DAMBREL_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$linux"

windows="$top/build/windows"
cmake -S "$top" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
      -DAMBREL_BUILD_TESTS=ON -DAMBREL_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$windows"

echo "== Linux =="
ctest --test-dir "$linux" --output-on-failure -j "$(nproc)"
echo "== Windows (under Wine) =="
ctest --test-dir "$windows" --output-on-failure
