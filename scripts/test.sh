#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/test"

bash "$top/scripts/setup.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DAMBREL_BUILD_TESTS=ON -DAMBREL_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
