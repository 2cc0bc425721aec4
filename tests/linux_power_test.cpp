// The power picture from the Linux platform: the fixture trees, and
// power_supply trees written into temporary folders, read through the whole
// call.
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ambrel.h"
#include "json_member.h"
#include "supply_tree.h"

namespace {

std::string read_line(const std::string &path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// --- The fixtures, as the README shows them ---------------------------------------------

class fixture_tree : public ::testing::TestWithParam<const char *> {
protected:
    void TearDown() override { linux_platform_set_root("/sys/class/power_supply"); }
};

TEST_P(fixture_tree, answers_both_calls_as_expected)
{
    std::string folder = std::string(AMBREL_FIXTURES) + "/" + GetParam();
    linux_platform_set_root(folder.c_str());
    EXPECT_EQ(ambrel_power(), read_line(folder + "/expected-power.txt"));
    EXPECT_EQ(ambrel_status(), read_line(folder + "/expected.txt"));
}

INSTANTIATE_TEST_SUITE_P(linux_power, fixture_tree, ::testing::Values("dual-battery", "laptop", "charge-laptop"),
                         [](const ::testing::TestParamInfo<const char *> &p) {
                             std::string name = p.param;
                             for (char &c : name) {
                                 if (c == '-') c = '_';
                             }
                             return name;
                         });

// --- Trees written by the tests ---------------------------------------------------------------

std::string read_file(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The README's example laptop: 87 %, discharging at 8.5 W, 36540 of 42000 mWh.
const std::string battery_uevent = read_file(std::string(AMBREL_FIXTURES) + "/laptop/BAT0/uevent");

std::string mains(const char *type, const char *online)
{
    return std::string("POWER_SUPPLY_TYPE=") + type + "\nPOWER_SUPPLY_ONLINE=" + online + "\n";
}

struct source_case {
    const char *name;
    std::vector<std::pair<const char *, std::string>> supplies;
    const char *ac_online;
};

void PrintTo(const source_case &c, std::ostream *os) { *os << c.name; }

class power_source : public power_supply_tree, public ::testing::WithParamInterface<source_case> {};

TEST_P(power_source, decides_ac_online)
{
    supply("BAT0", battery_uevent);
    for (const auto &s : GetParam().supplies) {
        supply(s.first, s.second);
    }
    EXPECT_EQ(json_member(ambrel_power(), "/ac_online"), GetParam().ac_online);
}

INSTANTIATE_TEST_SUITE_P(
    linux_power, power_source,
    ::testing::Values(
        source_case{"mains_off_line", {{"AC", mains("Mains", "0")}}, "false"},
        source_case{"mains_on_line", {{"AC", mains("Mains", "1")}}, "true"},
        source_case{"no_supply_but_the_battery", {}, "null"},
        source_case{"usb_c_on_line_mains_off_line", {{"AC", mains("Mains", "0")}, {"ucsi-source-psy-1", mains("USB", "1")}},
                    "true"},
        source_case{"usb_pd_online_programmable", {{"usb-pd", mains("USB_PD", "2")}}, "true"},
        source_case{"wireless_charger", {{"wireless", mains("Wireless", "1")}}, "true"},
        source_case{"a_device_own_usb_supply",
                    {{"AC", mains("Mains", "0")}, {"hid-dock", mains("USB", "1") + "POWER_SUPPLY_SCOPE=Device\n"}},
                    "false"},
        source_case{"mains_with_garbage_online", {{"AC", mains("Mains", "yes")}}, "null"},
        source_case{"mains_with_garbage_beside_one_off_line",
                    {{"AC", mains("Mains", "0")}, {"AC2", mains("Mains", "3")}}, "false"},
        source_case{"a_ups_is_not_mains", {{"ups", mains("UPS", "1")}}, "null"},
        source_case{"a_type_that_only_looks_like_usb", {{"odd", mains("US", "1")}}, "null"}),
    [](const ::testing::TestParamInfo<source_case> &p) { return std::string(p.param.name); });

struct battery_case {
    const char *name;
    std::vector<std::pair<std::string, std::string>> changes;   // replaced in battery_uevent, in turn
    std::vector<std::pair<const char *, std::string>> members;  // under /batteries/0
};

void PrintTo(const battery_case &c, std::ostream *os) { *os << c.name; }

class battery_value : public power_supply_tree, public ::testing::WithParamInterface<battery_case> {};

TEST_P(battery_value, from_the_uevent)
{
    std::string uevent = battery_uevent;
    for (const auto &change : GetParam().changes) {
        uevent = replaced(uevent, change.first, change.second);
    }
    supply("BAT0", uevent);
    std::string answer = ambrel_power();
    for (const auto &m : GetParam().members) {
        EXPECT_EQ(json_member(answer, (std::string("/batteries/0/") + m.first).c_str()), m.second) << m.first;
    }
}

const std::string end = "POWER_SUPPLY_CAPACITY=87\n";

INSTANTIATE_TEST_SUITE_P(
    linux_power, battery_value,
    ::testing::Values(
        battery_case{"nothing_extra_given",
                     {},
                     {{"id", R"("BAT0")"}, {"percent", "87"}, {"energy_mwh", "36540"}, {"temperature_c", "null"},
                      {"time_to_empty_s", "15476"}, {"charge_limit_pct", "null"}, {"manufacturer", "null"},
                      {"model", R"("Example")"}, {"serial", "null"}, {"error", "null"}}},
        battery_case{"temperature", {{end, end + "POWER_SUPPLY_TEMP=295\n"}}, {{"temperature_c", "29.5"}}},
        battery_case{"temperature_below_zero", {{end, end + "POWER_SUPPLY_TEMP=-51\n"}}, {{"temperature_c", "-5.1"}}},
        battery_case{"temperature_out_of_range", {{end, end + "POWER_SUPPLY_TEMP=1501\n"}}, {{"temperature_c", "null"}}},
        battery_case{"temperature_garbage", {{end, end + "POWER_SUPPLY_TEMP=29.5\n"}}, {{"temperature_c", "null"}}},
        battery_case{"time_to_empty_given", {{end, end + "POWER_SUPPLY_TIME_TO_EMPTY_NOW=12000\n"}},
                     {{"time_to_empty_s", "12000"}, {"time_to_full_s", "null"}}},
        battery_case{"time_to_empty_of_zero_is_not_given", {{end, end + "POWER_SUPPLY_TIME_TO_EMPTY_NOW=0\n"}},
                     {{"time_to_empty_s", "15476"}}},
        battery_case{"time_to_full_while_charging",
                     {{"=Discharging", "=Charging"}, {end, end + "POWER_SUPPLY_TIME_TO_FULL_NOW=3000\n"
                                                             "POWER_SUPPLY_TIME_TO_EMPTY_NOW=9\n"}},
                     {{"state", R"("charging")"}, {"rate_mw", "8500"}, {"time_to_full_s", "3000"},
                      {"time_to_empty_s", "null"}}},
        battery_case{"time_to_full_estimated", {{"=Discharging", "=Charging"}},
                     {{"time_to_full_s", "2312"}}},   // 5460 mWh at 8500 mW
        battery_case{"charge_limit", {{end, end + "POWER_SUPPLY_CHARGE_CONTROL_END_THRESHOLD=80\n"}},
                     {{"charge_limit_pct", "80"}}},
        battery_case{"charge_limit_of_zero", {{end, end + "POWER_SUPPLY_CHARGE_CONTROL_END_THRESHOLD=0\n"}},
                     {{"charge_limit_pct", "null"}}},
        battery_case{"charge_limit_above_100", {{end, end + "POWER_SUPPLY_CHARGE_CONTROL_END_THRESHOLD=101\n"}},
                     {{"charge_limit_pct", "null"}}},
        battery_case{"texts_with_blanks_and_bytes_that_are_not_utf8",
                     {{end, end + "POWER_SUPPLY_MANUFACTURER=  SMP \t\nPOWER_SUPPLY_MODEL_NAME=\xff\xfeX\n"
                                  "POWER_SUPPLY_SERIAL_NUMBER=   \n"}},
                     {{"manufacturer", R"("SMP")"}, {"model", "\"\xEF\xBF\xBD\xEF\xBF\xBDX\""}, {"serial", "null"}}},
        battery_case{"a_long_model_name", {{end, end + "POWER_SUPPLY_MODEL_NAME=" + std::string(100, 'M') + "\n"}},
                     {{"model", "\"" + std::string(63, 'M') + "\""}}},
        battery_case{"a_control_character_is_escaped", {{end, end + "POWER_SUPPLY_SERIAL_NUMBER=A\x01" "B\n"}},
                     {{"serial", R"("A\u0001B")"}}},
        battery_case{"full", {{"=Discharging", "=Full"}, {"POWER_NOW=8500000", "POWER_NOW=0"}},
                     {{"state", R"("full")"}, {"rate_mw", "0"}, {"time_to_empty_s", "null"}}},
        battery_case{"not_charging", {{"=Discharging", "=Not charging"}}, {{"state", R"("not_charging")"}}},
        battery_case{"unknown_status_with_the_driver_sign",
                     {{"=Discharging", "=Unknown"}, {"POWER_NOW=8500000", "POWER_NOW=-5000000"}},
                     {{"state", R"("unknown")"}, {"rate_mw", "-5000"}}},
        battery_case{"garbage_status", {{"=Discharging", "=discharging"}}, {{"state", R"("unknown")"}}},
        battery_case{"percent_from_energy_without_capacity", {{end, ""}}, {{"percent", "87"}}},
        battery_case{"percent_from_energy_beside_a_bad_capacity", {{"CAPACITY=87", "CAPACITY=101"}},
                     {{"percent", "87"}}},
        battery_case{"no_percent_at_all", {{end, ""}, {"ENERGY_NOW=36540000", "ENERGY_NOW=x"}},
                     {{"percent", "null"}, {"energy_mwh", "null"}, {"time_to_empty_s", "null"}}},
        battery_case{"rate_from_current_and_voltage", {{"POWER_SUPPLY_POWER_NOW=8500000", "POWER_SUPPLY_CURRENT_NOW=680000"}},
                     {{"rate_mw", "-8500"}}},
        battery_case{"no_rate", {{"POWER_SUPPLY_POWER_NOW=8500000\n", ""}}, {{"rate_mw", "null"}, {"time_to_empty_s", "null"}}}),
    [](const ::testing::TestParamInfo<battery_case> &p) { return std::string(p.param.name); });

TEST_F(power_supply_tree, at_most_the_first_sixteen_batteries_in_name_order)
{
    for (int i = 19; i >= 0; --i) {
        supply("BAT" + std::to_string(i), battery_uevent);
    }
    std::string answer = ambrel_power();
    const char *expected[] = {"BAT0",  "BAT1",  "BAT10", "BAT11", "BAT12", "BAT13", "BAT14", "BAT15",
                              "BAT16", "BAT17", "BAT18", "BAT19", "BAT2",  "BAT3",  "BAT4",  "BAT5"};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(json_member(answer, ("/batteries/" + std::to_string(i) + "/id").c_str()),
                  std::string("\"") + expected[i] + "\"");
    }
    EXPECT_EQ(json_member(answer, "/batteries/16"), "<missing>");
    EXPECT_EQ(json_member(answer, "/energy_mwh"), std::to_string(16 * 36540)) << "the totals are over those listed";
    EXPECT_LT(answer.size(), 16383u);
}

TEST_F(power_supply_tree, device_batteries_and_absent_ones_are_not_listed)
{
    supply("BAT0", "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\nPOWER_SUPPLY_CAPACITY=12\n");
    supply("BAT1", battery_uevent);
    supply("BAT2", replaced(battery_uevent, "PRESENT=1", "PRESENT=0"));
    std::string answer = ambrel_power();
    EXPECT_EQ(json_member(answer, "/batteries/0/id"), R"("BAT1")");
    EXPECT_EQ(json_member(answer, "/batteries/1"), "<missing>");
}

TEST_F(power_supply_tree, an_unreadable_uevent_is_passed_over)
{
    ASSERT_EQ(mkdir((root_ + "/BAT0").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root_ + "/BAT0/uevent").c_str(), 0755), 0);   // read() fails
    supply("BAT1", battery_uevent);
    EXPECT_EQ(json_member(ambrel_power(), "/batteries/0/id"), R"("BAT1")");
}

TEST_F(power_supply_tree, no_folder_is_no_battery_and_nothing_known_of_mains)
{
    linux_platform_set_root((root_ + "/missing").c_str());
    EXPECT_STREQ(ambrel_power(),
                 R"({"ac_online":null,"state":null,"percent":null,"energy_mwh":null,"full_mwh":null,)"
                 R"("rate_mw":null,"time_to_empty_s":null,"time_to_full_s":null,"batteries":[]})");
}

TEST_F(power_supply_tree, every_call_reads_afresh)
{
    supply("AC", mains("Mains", "1"));
    EXPECT_EQ(json_member(ambrel_power(), "/batteries"), "[]");
    supply("BAT0", battery_uevent);
    EXPECT_EQ(json_member(ambrel_power(), "/batteries/0/id"), R"("BAT0")");
}

}  // namespace
