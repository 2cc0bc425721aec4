// The Linux path, run inside a private mount namespace with a fixture over
// /sys/class/power_supply: the real shared library against the floor, on the
// same tree in the same run.
#include <benchmark/benchmark.h>

#include "ambrel.h"
#include "floor.h"

namespace {

void ambrel_linux_path(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(ambrel_status());
    }
}
BENCHMARK(ambrel_linux_path);

void floor_read_every_uevent(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(read_every_uevent("/sys/class/power_supply"));
    }
}
BENCHMARK(floor_read_every_uevent);

}  // namespace

BENCHMARK_MAIN();
