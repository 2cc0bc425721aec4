// The power picture over the scripted platform's battery device class: the
// whole answer, the queries asked, each query failing alone, the system's
// own answers, and the rules over all batteries.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ambrel.h"
#include "json_member.h"
#include "power.h"
#include "scripted_platform.h"

namespace {

const char first_path[] = R"(\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a})";
const char second_path[] = R"(\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a})";

const std::string two_battery_picture =
    std::string(R"({"ac_online":false,"state":"discharging","percent":94,"energy_mwh":63000,"full_mwh":67000,)"
                R"("rate_mw":-6000,"time_to_empty_s":37800,"time_to_full_s":null,"batteries":[)") +
    R"({"id":")" + first_path +
    R"(","state":"discharging","percent":82,"energy_mwh":18000,"full_mwh":22000,"design_mwh":24000,)"
    R"("health_pct":91.66666666666667,"rate_mw":-6000,"voltage_mv":12100,"cycles":120,"temperature_c":28.0,)"
    R"("time_to_empty_s":9900,"time_to_full_s":null,"charge_limit_pct":null,"chemistry":"Lithium-Ion",)"
    R"("manufacturer":"SMP","model":"5B10W13930","serial":"1234","error":null},)"
    R"({"id":")" + second_path +
    R"(","state":"full","percent":100,"energy_mwh":45000,"full_mwh":45000,"design_mwh":48000,)"
    R"("health_pct":93.75,"rate_mw":0,"voltage_mv":12900,"cycles":40,"temperature_c":25.0,)"
    R"("time_to_empty_s":null,"time_to_full_s":null,"charge_limit_pct":null,"chemistry":"Lithium-Ion",)"
    R"("manufacturer":"Sunwoda","model":"01AV491","serial":"5678","error":null}]})";

class power_call : public ::testing::Test {
protected:
    void SetUp() override { script_two_battery_laptop(); }
    void TearDown() override
    {
        EXPECT_EQ(g_script.open_handles, 0) << "a device handle was left open";
        EXPECT_EQ(g_script.bad_closes, 0) << "a handle was closed that was not open";
        EXPECT_EQ(g_script.open_lists, 0) << "a device list was left open";
        EXPECT_EQ(g_script.bad_list_closes, 0);
    }
};

TEST_F(power_call, two_battery_laptop_gives_the_whole_picture)
{
    EXPECT_EQ(ambrel_power(), two_battery_picture);
}

TEST_F(power_call, asks_each_battery_once_with_its_tag)
{
    ambrel_power();
    const scripted_platform &s = g_script;
    EXPECT_EQ(s.power_calls, 1);
    EXPECT_EQ(s.list_calls, 1);
    EXPECT_EQ(s.open_calls, 0) << "the status call's open is not used";
    ASSERT_EQ(s.interface_opens, 2);
    EXPECT_EQ(std::u16string(s.interface_open_paths[1]), s.batteries[1].path);
    EXPECT_EQ(s.interface_open_access, 0x80000000u);
    EXPECT_EQ(s.interface_open_share, 1u);
    EXPECT_EQ(s.interface_open_creation, 3u);
    EXPECT_EQ(s.interface_open_attributes, 0x80u);
    EXPECT_EQ(s.close_calls, 2);

    // Per battery: the tag, the information, the status, then five levels.
    const std::pair<std::uint32_t, std::uint32_t> levels[] = {
        {battery_temperature_level, 4},    {battery_estimated_time_level, 4}, {battery_device_name_level, 512},
        {battery_manufacture_name_level, 512}, {battery_serial_number_level, 512},
    };
    ASSERT_EQ(s.io_count, 16);
    for (int b = 0; b < 2; ++b) {
        const scripted_io_call *io = &s.io[b * 8];
        std::uint32_t tag = s.batteries[b].tag;
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(io[i].device, scripted_battery_handle(b));
        }
        EXPECT_EQ(io[0].control_code, ioctl_battery_query_tag);
        EXPECT_EQ(io[1].control_code, ioctl_battery_query_information);
        EXPECT_EQ(io[1].out_size, 36u);
        EXPECT_EQ(io[2].control_code, ioctl_battery_query_status);
        battery_wait_status_record wait;
        std::memcpy(&wait, io[2].in, sizeof wait);
        EXPECT_EQ(wait.battery_tag, tag);
        EXPECT_EQ(wait.timeout, 0u);
        for (int i = 0; i < 5; ++i) {
            const scripted_io_call &call = io[3 + i];
            battery_query_information_record query;
            ASSERT_EQ(call.in_size, sizeof query);
            std::memcpy(&query, call.in, sizeof query);
            EXPECT_EQ(call.control_code, ioctl_battery_query_information);
            EXPECT_EQ(query.battery_tag, tag);
            EXPECT_EQ(query.information_level, levels[i].first);
            EXPECT_EQ(query.at_rate, 0);
            EXPECT_EQ(call.out_size, levels[i].second);
        }
    }
}

// --- Each query of the first battery failing alone -------------------------------------

struct query_case {
    const char *name;
    std::function<void(scripted_battery &)> script;
    std::vector<std::pair<const char *, const char *>> members;   // under /batteries/0
};

void PrintTo(const query_case &c, std::ostream *os) { *os << c.name; }

class first_battery : public power_call, public ::testing::WithParamInterface<query_case> {};

TEST_P(first_battery, changes_only_the_members_of_its_query)
{
    GetParam().script(g_script.batteries[0]);
    std::string answer = ambrel_power();
    for (const auto &m : GetParam().members) {
        EXPECT_EQ(json_member(answer, (std::string("/batteries/0/") + m.first).c_str()), m.second) << m.first;
    }
    // The second battery is never touched by the first one's answers.
    EXPECT_EQ(json_member(answer, "/batteries/1"), json_member(two_battery_picture, "/batteries/1"));
}

const std::vector<std::pair<const char *, const char *>> everything_null = {
    {"state", R"("unknown")"}, {"percent", "null"},      {"energy_mwh", "null"},    {"full_mwh", "null"},
    {"design_mwh", "null"},    {"health_pct", "null"},   {"rate_mw", "null"},       {"voltage_mv", "null"},
    {"cycles", "null"},        {"temperature_c", "null"}, {"time_to_empty_s", "null"}, {"chemistry", "null"},
    {"manufacturer", "null"},  {"model", "null"},        {"serial", "null"},        {"error", "null"},
};

INSTANTIATE_TEST_SUITE_P(
    power_call, first_battery,
    ::testing::Values(
        query_case{"tag_fails", [](scripted_battery &b) { b.tag_succeeds = false; }, everything_null},
        query_case{"tag_zero", [](scripted_battery &b) { b.tag = 0; }, everything_null},
        query_case{"information_fails", [](scripted_battery &b) { b.information_succeeds = false; },
                   {{"chemistry", "null"}, {"design_mwh", "null"}, {"full_mwh", "null"}, {"health_pct", "null"},
                    {"cycles", "null"}, {"percent", "null"}, {"energy_mwh", "18000"}, {"state", R"("discharging")"},
                    {"time_to_empty_s", "9900"}, {"model", R"("5B10W13930")"}}},
        query_case{"information_of_35_bytes", [](scripted_battery &b) { b.information_bytes = 35; },
                   {{"chemistry", "null"}, {"full_mwh", "null"}, {"voltage_mv", "12100"}}},
        query_case{"status_fails", [](scripted_battery &b) { b.status_succeeds = false; },
                   {{"state", R"("unknown")"}, {"percent", "null"}, {"energy_mwh", "null"}, {"rate_mw", "null"},
                    {"voltage_mv", "null"}, {"time_to_empty_s", "null"}, {"full_mwh", "22000"},
                    {"health_pct", "91.66666666666667"}, {"temperature_c", "28.0"}}},
        query_case{"status_of_15_bytes", [](scripted_battery &b) { b.status_bytes = 15; },
                   {{"state", R"("unknown")"}, {"rate_mw", "null"}, {"cycles", "120"}}},
        query_case{"temperature_fails", [](scripted_battery &b) { b.levels[battery_temperature_level] = {}; },
                   {{"temperature_c", "null"}, {"voltage_mv", "12100"}, {"model", R"("5B10W13930")"}}},
        query_case{"temperature_not_supported",
                   [](scripted_battery &b) { script_level_word(b, battery_temperature_level, 0); },
                   {{"temperature_c", "null"}}},
        query_case{"temperature_of_two_bytes", [](scripted_battery &b) { b.levels[battery_temperature_level].bytes = 2; },
                   {{"temperature_c", "null"}}},
        query_case{"coldest_temperature",
                   [](scripted_battery &b) { script_level_word(b, battery_temperature_level, 2232); },
                   {{"temperature_c", "-50.0"}}},
        query_case{"colder_than_that",
                   [](scripted_battery &b) { script_level_word(b, battery_temperature_level, 2231); },
                   {{"temperature_c", "null"}}},
        query_case{"hottest_temperature",
                   [](scripted_battery &b) { script_level_word(b, battery_temperature_level, 4232); },
                   {{"temperature_c", "150.0"}}},
        query_case{"hotter_than_that",
                   [](scripted_battery &b) { script_level_word(b, battery_temperature_level, 4233); },
                   {{"temperature_c", "null"}}},
        query_case{"estimated_time_fails",
                   [](scripted_battery &b) { b.levels[battery_estimated_time_level] = {}; },
                   {{"time_to_empty_s", "10800"}}},   // 18000 mWh at 6000 mW
        query_case{"estimated_time_unknown",
                   [](scripted_battery &b) { script_level_word(b, battery_estimated_time_level, battery_unknown_time); },
                   {{"time_to_empty_s", "10800"}}},
        query_case{"unknown_time_and_unknown_rate",
                   [](scripted_battery &b) {
                       script_level_word(b, battery_estimated_time_level, battery_unknown_time);
                       b.status.rate = battery_unknown_rate;
                   },
                   {{"time_to_empty_s", "null"}, {"rate_mw", "null"}, {"state", R"("discharging")"}}},
        query_case{"device_name_fails", [](scripted_battery &b) { b.levels[battery_device_name_level] = {}; },
                   {{"model", "null"}, {"manufacturer", R"("SMP")"}, {"serial", R"("1234")"}}},
        query_case{"manufacturer_fails", [](scripted_battery &b) { b.levels[battery_manufacture_name_level] = {}; },
                   {{"manufacturer", "null"}, {"model", R"("5B10W13930")"}}},
        query_case{"serial_fails", [](scripted_battery &b) { b.levels[battery_serial_number_level] = {}; },
                   {{"serial", "null"}, {"manufacturer", R"("SMP")"}}},
        query_case{"texts_without_terminator",
                   [](scripted_battery &b) {
                       script_level_text(b, battery_device_name_level, u"  Long Life\t", false);
                       script_level_text(b, battery_serial_number_level, u"", false);
                   },
                   {{"model", R"("Long Life")"}, {"serial", "null"}}},
        query_case{"text_claiming_more_than_the_buffer",
                   [](scripted_battery &b) {
                       script_level_text(b, battery_manufacture_name_level, u"ACME", false);
                       b.levels[battery_manufacture_name_level].bytes = 100000;
                   },
                   {{"manufacturer", R"("ACME")"}}},
        query_case{"text_with_an_unpaired_surrogate",
                   [](scripted_battery &b) {
                       const char16_t text[] = {u'A', 0xD800, u'B', 0};
                       script_level_text(b, battery_device_name_level, text);
                   },
                   {{"model", "\"A\xEF\xBF\xBD" "B\""}}},
        query_case{"relative_capacity",
                   [](scripted_battery &b) { b.information.capabilities = battery_capacity_relative; },
                   {{"energy_mwh", "null"}, {"full_mwh", "null"}, {"design_mwh", "null"}, {"health_pct", "null"},
                    {"rate_mw", "null"}, {"percent", "82"}, {"voltage_mv", "12100"}, {"cycles", "120"},
                    {"time_to_empty_s", "9900"}}},
        query_case{"unknown_capacity",
                   [](scripted_battery &b) {
                       b.status.capacity = battery_unknown_capacity;
                       b.levels[battery_estimated_time_level] = {};
                   },
                   {{"energy_mwh", "null"}, {"percent", "null"}, {"time_to_empty_s", "null"}}},
        query_case{"capacity_above_full",
                   [](scripted_battery &b) { b.status.capacity = 23000; }, {{"percent", "100"}}},
        query_case{"full_capacity_zero",
                   [](scripted_battery &b) { b.information.full_charged_capacity = 0; },
                   {{"percent", "null"}, {"full_mwh", "0"}, {"health_pct", "0.0"}}},
        query_case{"on_line_below_100",
                   [](scripted_battery &b) { b.status.power_state = battery_power_on_line; },
                   {{"state", R"("not_charging")"}, {"time_to_empty_s", "null"}}},
        query_case{"charging_and_discharging_bits",
                   [](scripted_battery &b) {
                       b.status.power_state = battery_charging | battery_discharging;
                       b.status.rate = 4000;
                   },
                   {{"state", R"("charging")"}, {"time_to_full_s", "3600"}, {"time_to_empty_s", "null"}}},
        query_case{"no_state_bits", [](scripted_battery &b) { b.status.power_state = 0; },
                   {{"state", R"("unknown")"}, {"percent", "82"}}},
        query_case{"unknown_voltage_and_no_cycles",
                   [](scripted_battery &b) {
                       b.status.voltage = battery_unknown_voltage;
                       b.information.cycle_count = 0;
                   },
                   {{"voltage_mv", "null"}, {"cycles", "null"}}}),
    [](const ::testing::TestParamInfo<query_case> &p) { return std::string(p.param.name); });

// --- A battery whose device cannot be opened ------------------------------------------------

TEST_F(power_call, a_battery_that_cannot_be_opened_carries_the_system_message)
{
    g_script.batteries[1].open_error = 5;
    std::string answer = ambrel_power();
    EXPECT_EQ(json_member(answer, "/batteries/1"),
              std::string(R"({"id":")") + second_path +
                  R"(","state":"unknown","percent":null,"energy_mwh":null,"full_mwh":null,"design_mwh":null,)"
                  R"("health_pct":null,"rate_mw":null,"voltage_mv":null,"cycles":null,"temperature_c":null,)"
                  R"("time_to_empty_s":null,"time_to_full_s":null,"charge_limit_pct":null,"chemistry":null,)"
                  R"("manufacturer":null,"model":null,"serial":null,"error":"Access is denied.\r\n"})");
    EXPECT_EQ(json_member(answer, "/batteries/0/state"), R"("discharging")");
    EXPECT_EQ(json_member(answer, "/energy_mwh"), "null");
    EXPECT_EQ(g_script.message_code, 5u);
    EXPECT_EQ(g_script.message_size, 128u);
    EXPECT_EQ(g_script.close_calls, 1);
    EXPECT_STREQ(ambrel_last_error(), "") << "the status call's message is not touched";
}

TEST_F(power_call, a_message_call_without_text_gives_the_code)
{
    const std::pair<std::function<void()>, const char *> cases[] = {
        {[] { g_script.message = nullptr; }, R"("system error 5")"},
        {[] { g_script.message_call_fails = true; }, R"("system error 5")"},
        {[] { g_script.message = "Zugriff verweigert \xfc\r\n"; }, "\"Zugriff verweigert \xEF\xBF\xBD\\r\\n\""},
    };
    for (const auto &c : cases) {
        script_two_battery_laptop();
        g_script.batteries[0].open_error = 5;
        c.first();
        EXPECT_EQ(json_member(ambrel_power(), "/batteries/0/error"), c.second);
    }
}

// --- What the system says, and the list of interfaces --------------------------------------------

struct system_case {
    const char *name;
    std::function<void(scripted_platform &)> script;
    std::vector<std::pair<const char *, std::string>> members;
    int list_calls;
};

void PrintTo(const system_case &c, std::ostream *os) { *os << c.name; }

class system_answer : public power_call, public ::testing::WithParamInterface<system_case> {};

TEST_P(system_answer, gives_the_top_members)
{
    GetParam().script(g_script);
    std::string answer = ambrel_power();
    for (const auto &m : GetParam().members) {
        EXPECT_EQ(json_member(answer, m.first), m.second) << m.first;
    }
    EXPECT_EQ(g_script.list_calls, GetParam().list_calls);
    EXPECT_EQ(g_script.power_calls, 1);
}

INSTANTIATE_TEST_SUITE_P(
    power_call, system_answer,
    ::testing::Values(
        system_case{"no_battery_flag",
                    [](scripted_platform &s) {
                        s.battery_flag = 128;
                        s.battery_life_percent = 50;
                        s.ac_line_status = 1;
                    },
                    {{"/ac_online", "true"}, {"/state", "null"}, {"/percent", "null"}, {"/energy_mwh", "null"},
                     {"/rate_mw", "null"}, {"/time_to_empty_s", "null"}, {"/batteries", "[]"}},
                    0},
        system_case{"power_status_fails",
                    [](scripted_platform &s) {
                        s.power_succeeds = false;
                        s.battery_flag = 128;   // written by a failing call: not believed
                        s.battery_life_percent = 50;
                        s.battery_life_time = 1000;
                    },
                    {{"/ac_online", "null"}, {"/percent", "94"}, {"/time_to_empty_s", "37800"},
                     {"/batteries/1/state", R"("full")"}},
                    1},
        system_case{"ac_line_unknown", [](scripted_platform &s) { s.ac_line_status = 255; },
                    {{"/ac_online", "null"}}, 1},
        system_case{"ac_line_online", [](scripted_platform &s) { s.ac_line_status = 1; }, {{"/ac_online", "true"}}, 1},
        system_case{"system_percent_unknown", [](scripted_platform &s) { s.battery_life_percent = 255; },
                    {{"/percent", "94"}}, 1},   // 63000 of 67000 mWh
        system_case{"system_percent_wins", [](scripted_platform &s) { s.battery_life_percent = 90; },
                    {{"/percent", "90"}}, 1},
        system_case{"system_time_wins", [](scripted_platform &s) { s.battery_life_time = 5000; },
                    {{"/time_to_empty_s", "5000"}}, 1},
        system_case{"device_list_fails", [](scripted_platform &s) { s.battery_list_fails = true; },
                    {{"/batteries", "[]"}, {"/state", "null"}, {"/percent", "94"}, {"/ac_online", "false"}}, 1},
        system_case{"no_interface_but_the_system_percentage", [](scripted_platform &s) { s.battery_count = 0; },
                    {{"/batteries", "[]"}, {"/percent", "94"}, {"/time_to_empty_s", "null"}}, 1},
        system_case{"an_interface_without_a_path",
                    [](scripted_platform &s) { s.batteries[0].listing = interface_unreadable; },
                    {{"/batteries/0/id", std::string("\"") + second_path + "\""},
                     {"/batteries/1", "<missing>"}, {"/percent", "94"}, {"/time_to_empty_s", "null"}},
                    1}),
    [](const ::testing::TestParamInfo<system_case> &p) { return std::string(p.param.name); });

TEST_F(power_call, at_most_sixteen_batteries_are_listed)
{
    g_script.battery_count = scripted_battery_limit;
    for (int i = 2; i < scripted_battery_limit; ++i) {
        g_script.batteries[i] = g_script.batteries[1];
        g_script.batteries[i].path[17] = static_cast<char16_t>(u'a' + i);
    }
    std::string answer = ambrel_power();
    EXPECT_NE(json_member(answer, "/batteries/15"), "<missing>");
    EXPECT_EQ(json_member(answer, "/batteries/16"), "<missing>");
    EXPECT_EQ(g_script.interface_opens, 16);
    EXPECT_EQ(json_member(answer, "/energy_mwh"), std::to_string(18000 + 15 * 45000));
}

TEST_F(power_call, an_answer_too_long_for_its_buffer_is_empty_not_cut)
{
    // Control characters are written as six bytes each: sixteen batteries
    // naming themselves in nothing else would need some 32 KiB.
    std::u16string controls(79, u'\x01');
    g_script.battery_count = 16;
    for (int i = 0; i < 16; ++i) {
        scripted_battery &b = g_script.batteries[i];
        b = g_script.batteries[0];
        std::copy(controls.begin(), controls.end(), b.path);
        b.path[0] = static_cast<char16_t>(u'A' + i);
        for (std::uint32_t level : {battery_device_name_level, battery_manufacture_name_level, battery_serial_number_level}) {
            script_level_text(b, level, std::u16string(127, u'\x02').c_str());
        }
    }
    EXPECT_STREQ(ambrel_power(), "{}");
    g_script.battery_count = 4;   // far from the bound, the same batteries are written
    std::string answer = ambrel_power();
    EXPECT_EQ(json_member(answer, "/batteries/3/model").size(), 2 + 63 * 6u);
}

TEST_F(power_call, no_memory_for_an_interface_path_answers_empty)
{
    g_script.batteries[1].listing = interface_no_memory;
    EXPECT_STREQ(ambrel_power(), "{}");
}

// --- The buffers ------------------------------------------------------------------------------------

TEST_F(power_call, leaves_the_status_texts_alone_and_the_other_way_round)
{
    script_typical_laptop();
    g_script.battery_life_percent = 255;
    g_script.open_handle = platform_invalid_handle;
    g_script.open_error = 5;
    const char *status = ambrel_status();
    std::string status_text = status;
    ASSERT_STREQ(ambrel_last_error(), "Access is denied.\r\n");

    script_two_battery_laptop();
    const char *power = ambrel_power();
    EXPECT_EQ(std::string(power), two_battery_picture);
    EXPECT_EQ(std::string(status), status_text);
    EXPECT_STREQ(ambrel_last_error(), "Access is denied.\r\n");

    script_typical_laptop();
    ambrel_status();
    EXPECT_EQ(std::string(power), two_battery_picture);
    script_two_battery_laptop();
    EXPECT_EQ(ambrel_power(), power) << "the same address on every call";
    ambrel_free_string(power);
    EXPECT_EQ(std::string(power), two_battery_picture);
}

// --- Over all batteries -------------------------------------------------------------------------

reading known(std::int64_t value)
{
    return {true, value};
}

struct battery_values {
    battery_state state;
    reading energy, full, rate, percent, time_to_empty, time_to_full;
};

struct total_case {
    const char *name;
    std::vector<battery_values> batteries;
    reading system_percent;
    reading system_time;
    battery_state state;   // not looked at without a battery
    reading percent, energy, full, rate, time_to_empty, time_to_full;
};

void PrintTo(const total_case &c, std::ostream *os) { *os << c.name; }

class totals : public ::testing::TestWithParam<total_case> {};

void expect_reading(reading actual, reading expected, const char *what)
{
    EXPECT_EQ(actual.known, expected.known) << what;
    if (actual.known && expected.known) {
        EXPECT_EQ(actual.value, expected.value) << what;
    }
}

TEST_P(totals, follow_the_rules_over_all_batteries)
{
    const total_case &c = GetParam();
    static power_readings p;
    p = power_readings{};
    p.battery_count = static_cast<int>(c.batteries.size());
    for (std::size_t i = 0; i < c.batteries.size(); ++i) {
        battery_entry &b = p.batteries[i];
        clear_battery_entry(&b);
        const battery_values &v = c.batteries[i];
        b.state = v.state;
        b.energy_mwh = v.energy;
        b.full_mwh = v.full;
        b.rate_mw = v.rate;
        b.percent = v.percent;
        b.time_to_empty_s = v.time_to_empty;
        b.time_to_full_s = v.time_to_full;
    }
    total_power_readings(&p, c.system_percent, c.system_time);
    if (!c.batteries.empty()) {
        EXPECT_EQ(p.state, c.state);
    }
    expect_reading(p.percent, c.percent, "percent");
    expect_reading(p.energy_mwh, c.energy, "energy");
    expect_reading(p.full_mwh, c.full, "full");
    expect_reading(p.rate_mw, c.rate, "rate");
    expect_reading(p.time_to_empty_s, c.time_to_empty, "time to empty");
    expect_reading(p.time_to_full_s, c.time_to_full, "time to full");
}

const reading no{};
const battery_values discharging_half = {battery_state::discharging, known(20000), known(40000), known(-10000),
                                         known(50), known(7200), no};
const battery_values idle_full = {battery_state::unknown, known(40000), known(40000), known(0), known(100), no, no};

INSTANTIATE_TEST_SUITE_P(
    power, totals,
    ::testing::Values(
        total_case{"no_battery_but_the_system_percentage", {}, known(50), known(100), battery_state::unknown, known(50), no, no, no,
                   no, no},
        total_case{"no_battery_at_all", {}, no, no, battery_state::unknown, no, no, no, no, no, no},
        total_case{"one_idle_one_discharging", {discharging_half, idle_full}, no, no, battery_state::discharging,
                   known(75), known(60000), known(80000), known(-10000), known(21600), no},
        total_case{"one_battery_keeps_its_own_time", {discharging_half}, no, no, battery_state::discharging, known(50),
                   known(20000), known(40000), known(-10000), known(7200), no},
        total_case{"one_battery_without_a_time", {{battery_state::discharging, known(1), known(2), known(-1), known(50), no, no}},
                   no, no, battery_state::discharging, known(50), known(1), known(2), known(-1), no, no},
        total_case{"system_answers_first", {discharging_half, idle_full}, known(70), known(100), battery_state::discharging,
                   known(70), known(60000), known(80000), known(-10000), known(100), no},
        total_case{"charging_wins",
                   {{battery_state::charging, known(10000), known(40000), known(20000), known(25), no, known(1)},
                    {battery_state::discharging, known(10000), known(40000), known(-5000), known(25), no, no}},
                   no, no, battery_state::charging, known(25), known(20000), known(80000), known(15000), no, known(14400)},
        total_case{"charging_with_energy_above_full",
                   {{battery_state::charging, known(41000), known(40000), known(20000), no, no, no},
                    {battery_state::full, known(40000), known(40000), known(0), no, no, no}},
                   no, no, battery_state::charging, known(100), known(81000), known(80000), known(20000), no, no},
        total_case{"all_full", {{battery_state::full, no, no, no, known(100), no, no}, {battery_state::full, no, no, no, known(99), no, no}},
                   no, no, battery_state::full, known(100), no, no, no, no, no},   // 99.5 to the even 100
        total_case{"full_and_not_charging",
                   {{battery_state::full, no, no, no, known(87), no, no}, {battery_state::not_charging, no, no, no, known(88), no, no}},
                   no, no, battery_state::not_charging, known(88), no, no, no, no, no},   // 87.5 to the even 88
        total_case{"mean_rounds_half_to_even",
                   {{battery_state::full, no, no, no, known(86), no, no}, {battery_state::not_charging, no, no, no, known(87), no, no}},
                   no, no, battery_state::not_charging, known(86), no, no, no, no, no},
        total_case{"full_and_unknown", {{battery_state::full, no, no, no, no, no, no}, {battery_state::unknown, no, no, no, known(5), no, no}},
                   no, no, battery_state::unknown, no, no, no, no, no, no},
        total_case{"energy_ratio_rounds_half_to_even",
                   {{battery_state::unknown, known(1), known(200), no, known(90), no, no}},
                   no, no, battery_state::unknown, known(0), known(1), known(200), no, no, no},
        total_case{"energy_ratio_of_zero_full_falls_back_to_the_mean",
                   {{battery_state::unknown, known(0), known(0), no, known(40), no, no}},
                   no, no, battery_state::unknown, known(40), known(0), known(0), no, no, no},
        total_case{"discharging_with_a_rate_of_zero",
                   {discharging_half, {battery_state::discharging, known(100), known(100), known(10000), known(100), no, no}},
                   no, no, battery_state::discharging, known(50), known(20100), known(40100), known(0), no, no}),
    [](const ::testing::TestParamInfo<total_case> &p) { return std::string(p.param.name); });

// --- A device's own texts ---------------------------------------------------------------------------

struct text_case {
    std::string in;
    std::string out;
};

TEST(device_texts, are_trimmed_made_valid_and_cut_at_a_character)
{
    const std::string fffd = "\xEF\xBF\xBD";
    const text_case cases[] = {
        {"  SMP\t", "SMP"},
        {"", ""},
        {" \t ", ""},
        {std::string("AB\0CD", 5), "AB"},
        {"A\xff" "B", "A" + fffd + "B"},
        {"\xC0\xAF", fffd + fffd},                    // an overlong '/'
        {"x\xE2\x82", "x" + fffd},                    // a character cut at the end
        {"\xED\xA0\x80", fffd + fffd + fffd},         // a surrogate written in UTF-8
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},   // beyond U+10FFFF
        {"\xE2\x82\xAC\xF0\x9F\x94\x8B", "\xE2\x82\xAC\xF0\x9F\x94\x8B"},
        {std::string(70, 'a'), std::string(63, 'a')},
        {std::string(62, 'a') + "\xC3\xA9", std::string(62, 'a')},
        {std::string(61, 'a') + "\xC3\xA9", std::string(61, 'a') + "\xC3\xA9"},
        {std::string(70, ' ') + "X" + std::string(70, ' '), "X"},
        {std::string(21, '\xff') + "z", std::string(fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd +
                                                    fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd +
                                                    fffd)},
    };
    for (const text_case &c : cases) {
        char out[device_text_capacity];
        std::memset(out, 'X', sizeof out);
        device_text(c.in.data(), c.in.size(), out);
        EXPECT_EQ(std::string(out), c.out) << c.in;
    }
}

TEST(device_texts, from_utf16)
{
    const std::pair<std::u16string, std::string> cases[] = {
        {u" Sunwoda ", "Sunwoda"},
        {std::u16string(u"AB\0CD", 5), "AB"},
        {u"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC"},
        {u"\U0001F50B", "\xF0\x9F\x94\x8B"},
        {std::u16string{u'a', static_cast<char16_t>(0xDC00), u'b'}, "a\xEF\xBF\xBD" "b"},
        {std::u16string{u'a', static_cast<char16_t>(0xD83D)}, "a\xEF\xBF\xBD"},
        {std::u16string(100, u'\u00e9'), [] {
             std::string s;
             for (int i = 0; i < 31; ++i) s += "\xC3\xA9";
             return s;
         }()},
    };
    for (const auto &c : cases) {
        char out[device_text_capacity];
        device_text_utf16(c.first.data(), c.first.size(), out);
        EXPECT_EQ(std::string(out), c.second);
    }
}

}  // namespace
