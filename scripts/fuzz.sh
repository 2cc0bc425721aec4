#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 60) from the starting inputs in fuzz/corpus, both at once. Fails on any finding;
# the input that caused it is left in build/fuzz/artifacts/.
#   scripts/fuzz.sh 3600    # a longer run
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$top/build/fuzz"

bash "$top/scripts/setup.sh" hardening
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAMBREL_FUZZ=ON -DAMBREL_BUILD_TESTS=OFF -DAMBREL_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" --target fuzz_status fuzz_uevent

mkdir -p "$build/artifacts"
pids=()
for target in status uevent; do
  work="$build/corpus-$target"
  mkdir -p "$work"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "$work" "$top/fuzz/corpus/$target" \
    >"$build/fuzz_$target.log" 2>&1 &
  pids+=($!)
done
status=0
for i in 0 1; do
  target=$([ $i = 0 ] && echo status || echo uevent)
  if wait "${pids[$i]}"; then
    echo "fuzz_$target: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$build/fuzz_$target.log"), no finding"
  else
    status=1
    echo "fuzz_$target: FINDING"; tail -n 40 "$build/fuzz_$target.log"
  fi
done
exit $status
