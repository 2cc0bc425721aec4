#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: the Linux
# library natively, again under AddressSanitizer and UndefinedBehaviorSanitizer,
# the .deb package, the Windows DLL cross-compiled and tested under Wine, the
# benchmarks built, and both fuzz targets for a bounded time (FUZZ_SECONDS,
# default 60).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

bash "$top/scripts/setup.sh" windows hardening bench clients

configure() {
  local build=$1
  shift
  cmake -S "$top" -B "$build" -G Ninja -DAMBREL_BUILD_TESTS=ON -DAMBREL_WARNINGS_AS_ERRORS=ON "$@" >/dev/null
  cmake --build "$build"
}

echo "== Linux =="
configure "$top/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$top/build/test" --output-on-failure -j "$(nproc)"

echo "== Linux, with AddressSanitizer and UndefinedBehaviorSanitizer =="
configure "$top/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DAMBREL_SANITIZE=address,undefined
# Programs not built with the sanitizers cannot load the library (python, the
# installed consumer), and valgrind does not mix with them. The sanitizer
# runtime's dlopen does not see the host's run path, hence LD_LIBRARY_PATH.
LD_LIBRARY_PATH="$top/build/sanitize" ASAN_OPTIONS=detect_leaks=1 \
  ctest --test-dir "$top/build/sanitize" --output-on-failure -j "$(nproc)" \
        -E 'python_binding|install_and_find_package|csharp_binding' -LE valgrind

echo "== Linux package =="
configure "$top/build/package" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DAMBREL_BUILD_TESTS=OFF
cmake --build "$top/build/package" --target package >/dev/null
sh "$top/tests/deb_package_test.sh" "$top/build/package/ambrel_1.0.0_amd64.deb" "$top"

echo "== Windows, under Wine =="
configure "$top/build/windows" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake"
ctest --test-dir "$top/build/windows" --output-on-failure

echo "== Benchmarks build, and a short run of the library alone =="
cmake -S "$top" -B "$top/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAMBREL_BUILD_BENCH=ON \
      -DAMBREL_BUILD_TESTS=OFF -DAMBREL_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$top/build/bench"
"$top/build/bench/bench/bench_library" --benchmark_min_time=0.05

echo "== Fuzzing =="
bash "$top/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"
