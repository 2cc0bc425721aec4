// ambrel-status's renderings of the power picture: the text for people and
// the Prometheus exposition, from power pictures as the library writes them.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "render.h"

namespace {

std::string fixture_picture(const char *name)
{
    std::ifstream file(std::string(AMBREL_FIXTURES) + "/" + name + "/expected-power.txt");
    std::string line;
    std::getline(file, line);
    return line;
}

// A picture with one battery whose members come from the arguments.
std::string one_battery(const std::string &top, const std::string &battery)
{
    return R"({"ac_online":)" + top + R"(,"batteries":[{"id":"BAT0",)" + battery + "}]}";
}

struct text_case {
    const char *name;
    std::string picture;
    std::string text;
};

void PrintTo(const text_case &c, std::ostream *os) { *os << c.name; }

class text_rendering : public ::testing::TestWithParam<text_case> {};

TEST_P(text_rendering, leaves_out_what_is_not_known)
{
    EXPECT_EQ(text_report(GetParam().picture.c_str()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    render, text_rendering,
    ::testing::Values(
        text_case{"dual_battery_laptop", fixture_picture("dual-battery"),
                  "BAT0: discharging, 57 %, 1:22 left (9.2 W), health 92 %\n"
                  "BAT1: 88 %, health 92 %, charge limit 80 %\n"
                  "AC: off line, discharging, 80 %, 7:40 left (9.2 W)\n"},
        text_case{"laptop", fixture_picture("laptop"),
                  "BAT0: discharging, 87 %, 4:18 left (8.5 W), health 84 %\n"
                  "AC: off line, discharging, 87 %, 4:18 left (8.5 W)\n"},
        text_case{"charging",
                  R"({"ac_online":true,"state":"charging","percent":64,"rate_mw":25000,"time_to_empty_s":null,)"
                  R"("time_to_full_s":4200,"batteries":[{"id":"BAT0","state":"charging","percent":64,)"
                  R"("rate_mw":25000,"time_to_full_s":4170,"health_pct":99.5}]})",
                  "BAT0: charging, 64 %, 1:10 until full (25.0 W), health 100 %\n"
                  "AC: on line, charging, 64 %, 1:10 until full (25.0 W)\n"},
        text_case{"full_and_idle",
                  one_battery("true", R"("state":"full","percent":100,"rate_mw":0)"),
                  "BAT0: full, 100 %\nAC: on line, battery state unknown\n"},
        text_case{"a_rate_without_a_time",
                  one_battery("false", R"("state":"discharging","percent":50,"rate_mw":-4950,"time_to_empty_s":null)"),
                  "BAT0: discharging, 50 %, 5.0 W\nAC: off line, battery state unknown\n"},
        text_case{"times_round_to_the_minute",
                  one_battery("null", R"("state":"discharging","time_to_empty_s":29)"),
                  "BAT0: discharging, 0:00 left\nbattery state unknown\n"},
        text_case{"half_a_minute_rounds_up",
                  one_battery("null", R"("state":"discharging","time_to_empty_s":35970)"),
                  "BAT0: discharging, 10:00 left\nbattery state unknown\n"},
        text_case{"nothing_known_of_a_battery", one_battery("false", R"("state":"unknown","percent":null)"),
                  "BAT0: no readings\nAC: off line, battery state unknown\n"},
        text_case{"a_battery_that_could_not_be_opened",
                  R"({"ac_online":null,"state":"unknown","batteries":[{"id":"\\\\?\\acpi#pnp0c0a#1#{72631e54}",)"
                  R"("state":"unknown","error":"Access is denied.\r\n"}]})",
                  "Battery 1: error: Access is denied.\nbattery state unknown\n"},
        text_case{"no_battery_on_mains", R"({"ac_online":true,"state":null,"batteries":[]})", "AC: on line, no battery\n"},
        text_case{"no_battery_listed_but_the_system_percentage",
                  R"({"ac_online":false,"state":null,"percent":87,"batteries":[]})", "AC: off line, 87 %\n"},
        text_case{"no_battery_nothing_known", R"({"ac_online":null,"state":null,"batteries":[]})", "no battery\n"},
        text_case{"no_answer", "{}", "no answer from ambrel\n"}),
    [](const ::testing::TestParamInfo<text_case> &p) { return std::string(p.param.name); });

TEST(prometheus_rendering, of_the_laptop)
{
    EXPECT_EQ(prometheus_report(fixture_picture("laptop").c_str()),
              "# HELP ambrel_ac_online Whether the machine runs on mains power: 1 on line, 0 off line.\n"
              "# TYPE ambrel_ac_online gauge\n"
              "ambrel_ac_online 0\n"
              "# HELP ambrel_charge_ratio Remaining charge over all batteries, 0 to 1.\n"
              "# TYPE ambrel_charge_ratio gauge\n"
              "ambrel_charge_ratio 0.87\n"
              "# HELP ambrel_time_to_empty_seconds Time left on battery power, while discharging.\n"
              "# TYPE ambrel_time_to_empty_seconds gauge\n"
              "ambrel_time_to_empty_seconds 15476\n"
              "# HELP ambrel_battery_info A battery's identity, in its labels; always 1.\n"
              "# TYPE ambrel_battery_info gauge\n"
              "ambrel_battery_info{battery=\"BAT0\",model=\"Example\",chemistry=\"Nickel-Metal-Hydride\"} 1\n"
              "# HELP ambrel_battery_state 1 for the battery's state, 0 for the other states.\n"
              "# TYPE ambrel_battery_state gauge\n"
              "ambrel_battery_state{battery=\"BAT0\",state=\"charging\"} 0\n"
              "ambrel_battery_state{battery=\"BAT0\",state=\"discharging\"} 1\n"
              "ambrel_battery_state{battery=\"BAT0\",state=\"full\"} 0\n"
              "ambrel_battery_state{battery=\"BAT0\",state=\"not_charging\"} 0\n"
              "ambrel_battery_state{battery=\"BAT0\",state=\"unknown\"} 0\n"
              "# HELP ambrel_battery_charge_ratio Remaining charge of the battery, 0 to 1.\n"
              "# TYPE ambrel_battery_charge_ratio gauge\n"
              "ambrel_battery_charge_ratio{battery=\"BAT0\"} 0.87\n"
              "# HELP ambrel_battery_energy_joules Energy left in the battery.\n"
              "# TYPE ambrel_battery_energy_joules gauge\n"
              "ambrel_battery_energy_joules{battery=\"BAT0\"} 131544\n"
              "# HELP ambrel_battery_energy_full_joules Energy the battery holds when full, today.\n"
              "# TYPE ambrel_battery_energy_full_joules gauge\n"
              "ambrel_battery_energy_full_joules{battery=\"BAT0\"} 151200\n"
              "# HELP ambrel_battery_energy_design_joules Energy the battery was designed to hold.\n"
              "# TYPE ambrel_battery_energy_design_joules gauge\n"
              "ambrel_battery_energy_design_joules{battery=\"BAT0\"} 180000\n"
              "# HELP ambrel_battery_health_ratio Full-charge energy over design energy.\n"
              "# TYPE ambrel_battery_health_ratio gauge\n"
              "ambrel_battery_health_ratio{battery=\"BAT0\"} 0.84\n"
              "# HELP ambrel_battery_power_watts Charging (positive) or discharging (negative) power.\n"
              "# TYPE ambrel_battery_power_watts gauge\n"
              "ambrel_battery_power_watts{battery=\"BAT0\"} -8.5\n"
              "# HELP ambrel_battery_voltage_volts Voltage of the battery.\n"
              "# TYPE ambrel_battery_voltage_volts gauge\n"
              "ambrel_battery_voltage_volts{battery=\"BAT0\"} 12.5\n"
              "# HELP ambrel_battery_charge_cycles_total Charge cycles the battery has been through.\n"
              "# TYPE ambrel_battery_charge_cycles_total counter\n"
              "ambrel_battery_charge_cycles_total{battery=\"BAT0\"} 123\n"
              "# HELP ambrel_battery_time_to_empty_seconds Time left on this battery, while it discharges.\n"
              "# TYPE ambrel_battery_time_to_empty_seconds gauge\n"
              "ambrel_battery_time_to_empty_seconds{battery=\"BAT0\"} 15476\n");
}

TEST(prometheus_rendering, escapes_label_values_and_leaves_out_what_is_not_known)
{
    std::string text = prometheus_report(
        R"({"ac_online":null,"percent":null,"batteries":[{"id":"\\\\?\\acpi\"x","state":"unknown",)"
        R"("percent":null,"temperature_c":-5.1,"energy_mwh":12597,"model":"Line\nbreak","serial":null}]})");
    EXPECT_EQ(text,
              "# HELP ambrel_battery_info A battery's identity, in its labels; always 1.\n"
              "# TYPE ambrel_battery_info gauge\n"
              "ambrel_battery_info{battery=\"\\\\\\\\?\\\\acpi\\\"x\",model=\"Line\\nbreak\"} 1\n"
              "# HELP ambrel_battery_state 1 for the battery's state, 0 for the other states.\n"
              "# TYPE ambrel_battery_state gauge\n"
              "ambrel_battery_state{battery=\"\\\\\\\\?\\\\acpi\\\"x\",state=\"charging\"} 0\n"
              "ambrel_battery_state{battery=\"\\\\\\\\?\\\\acpi\\\"x\",state=\"discharging\"} 0\n"
              "ambrel_battery_state{battery=\"\\\\\\\\?\\\\acpi\\\"x\",state=\"full\"} 0\n"
              "ambrel_battery_state{battery=\"\\\\\\\\?\\\\acpi\\\"x\",state=\"not_charging\"} 0\n"
              "ambrel_battery_state{battery=\"\\\\\\\\?\\\\acpi\\\"x\",state=\"unknown\"} 1\n"
              "# HELP ambrel_battery_energy_joules Energy left in the battery.\n"
              "# TYPE ambrel_battery_energy_joules gauge\n"
              "ambrel_battery_energy_joules{battery=\"\\\\\\\\?\\\\acpi\\\"x\"} 45349.2\n"
              "# HELP ambrel_battery_temperature_celsius Temperature of the battery.\n"
              "# TYPE ambrel_battery_temperature_celsius gauge\n"
              "ambrel_battery_temperature_celsius{battery=\"\\\\\\\\?\\\\acpi\\\"x\"} -5.1\n");
    EXPECT_EQ(text.find("NaN"), std::string::npos);
}

TEST(prometheus_rendering, of_no_answer_is_empty)
{
    EXPECT_EQ(prometheus_report("{}"), "");
    EXPECT_EQ(prometheus_report(R"({"ac_online":true,"state":null,"batteries":[]})"),
              "# HELP ambrel_ac_online Whether the machine runs on mains power: 1 on line, 0 off line.\n"
              "# TYPE ambrel_ac_online gauge\n"
              "ambrel_ac_online 1\n");
}

}  // namespace
