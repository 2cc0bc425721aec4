// The library alone: a full report over the scripted platform, so that only
// ambrel's own work is timed. "--loop N" makes N calls and nothing else, for
// counting instructions with callgrind.
#include <cstdlib>
#include <cstring>

#include <benchmark/benchmark.h>

#include "allocation_watch.h"
#include "ambrel.h"
#include "scripted_platform.h"

namespace {

void status_full_report(benchmark::State &state)
{
    script_typical_laptop();
    arm_allocation_watch(0);
    ambrel_status();
    allocation_report one_call = disarm_allocation_watch();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ambrel_status());
    }
    state.counters["allocations_per_call"] = one_call.allocations;
    state.counters["leaked_blocks"] = one_call.live_blocks;
}
BENCHMARK(status_full_report);

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--loop") == 0) {
        script_typical_laptop();
        for (long i = std::strtol(argv[2], nullptr, 10); i > 0; --i) {
            benchmark::DoNotOptimize(ambrel_status());
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
