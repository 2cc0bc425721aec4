// The library alone: a full status report and a two-battery power picture
// over the scripted platform, so that only ambrel's own work is timed. The
// picture is asked both ways a platform answers: through the battery device
// class, and as the dual-battery fixture's uevent texts (parsing included).
// "--loop N", "--power-device-loop N" and "--power-loop N" make N calls and
// nothing else, for counting instructions with callgrind.
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

// The dual-battery fixture's supplies, as the kernel lists them.
const char *const fixture_names[] = {"AC", "BAT0", "BAT1"};
const char *const fixture_texts[] = {
    "POWER_SUPPLY_NAME=AC\nPOWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=0\n",
    "POWER_SUPPLY_NAME=BAT0\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_PRESENT=1\n"
    "POWER_SUPPLY_TECHNOLOGY=Li-poly\nPOWER_SUPPLY_CYCLE_COUNT=210\nPOWER_SUPPLY_VOLTAGE_MIN_DESIGN=11460000\n"
    "POWER_SUPPLY_VOLTAGE_NOW=11400000\nPOWER_SUPPLY_POWER_NOW=9200000\nPOWER_SUPPLY_ENERGY_FULL_DESIGN=24000000\n"
    "POWER_SUPPLY_ENERGY_FULL=22100000\nPOWER_SUPPLY_ENERGY_NOW=12500000\nPOWER_SUPPLY_CAPACITY=57\n"
    "POWER_SUPPLY_CAPACITY_LEVEL=Normal\nPOWER_SUPPLY_TEMP=298\nPOWER_SUPPLY_MODEL_NAME=01AV489\n"
    "POWER_SUPPLY_MANUFACTURER=SMP\nPOWER_SUPPLY_SERIAL_NUMBER= 1234\n",
    "POWER_SUPPLY_NAME=BAT1\nPOWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Unknown\nPOWER_SUPPLY_PRESENT=1\n"
    "POWER_SUPPLY_TECHNOLOGY=Li-ion\nPOWER_SUPPLY_CYCLE_COUNT=45\nPOWER_SUPPLY_VOLTAGE_MIN_DESIGN=11100000\n"
    "POWER_SUPPLY_VOLTAGE_NOW=12300000\nPOWER_SUPPLY_POWER_NOW=0\nPOWER_SUPPLY_ENERGY_FULL_DESIGN=72000000\n"
    "POWER_SUPPLY_ENERGY_FULL=66000000\nPOWER_SUPPLY_ENERGY_NOW=58000000\nPOWER_SUPPLY_CAPACITY=88\n"
    "POWER_SUPPLY_CAPACITY_LEVEL=Normal\nPOWER_SUPPLY_CHARGE_CONTROL_START_THRESHOLD=75\n"
    "POWER_SUPPLY_CHARGE_CONTROL_END_THRESHOLD=80\nPOWER_SUPPLY_MODEL_NAME=01AV424\n"
    "POWER_SUPPLY_MANUFACTURER=Sunwoda\nPOWER_SUPPLY_SERIAL_NUMBER=5678\n",
};

void script_dual_battery_supplies()
{
    g_script = scripted_platform{};
    g_script.has_supply_class = true;
    g_script.supply_count = 3;
    for (int i = 0; i < 3; ++i) {
        g_script.supply_names[i] = fixture_names[i];
        g_script.supply_texts[i] = fixture_texts[i];
    }
}

void power_picture(benchmark::State &state, void (*script)())
{
    script();
    arm_allocation_watch(0);
    ambrel_power();
    allocation_report one_call = disarm_allocation_watch();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ambrel_power());
    }
    state.counters["allocations_per_call"] = one_call.allocations;
    state.counters["leaked_blocks"] = one_call.live_blocks;
}
BENCHMARK_CAPTURE(power_picture, two_batteries_device_class, script_two_battery_laptop);
BENCHMARK_CAPTURE(power_picture, two_batteries_from_uevents, script_dual_battery_supplies);

}  // namespace

int main(int argc, char **argv)
{
    struct loop {
        const char *option;
        void (*script)();
        const char *(*call)();
    };
    const loop loops[] = {
        {"--loop", script_typical_laptop, ambrel_status},
        {"--power-device-loop", script_two_battery_laptop, ambrel_power},
        {"--power-loop", script_dual_battery_supplies, ambrel_power},
    };
    for (const loop &l : loops) {
        if (argc == 3 && std::strcmp(argv[1], l.option) == 0) {
            l.script();
            for (long i = std::strtol(argv[2], nullptr, 10); i > 0; --i) {
                benchmark::DoNotOptimize(l.call());
            }
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
