// The readings stage over the scripted platform: how each raw answer becomes
// a reading, and which answers count.
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "answer.h"
#include "readings.h"
#include "scripted_platform.h"

namespace {

battery_readings gather()
{
    g_result_buf[0] = '\0';
    g_last_error[0] = '\0';
    battery_readings r;
    std::memset(&r, 0xA5, sizeof r);   // every field must be written
    EXPECT_TRUE(gather_battery_readings(&r));
    EXPECT_EQ(g_script.open_handles, 0);
    EXPECT_EQ(g_script.bad_closes, 0);
    EXPECT_STREQ(g_result_buf, "");
    EXPECT_STREQ(g_last_error, "");
    return r;
}

struct reading_case {
    const char *name;
    std::function<void(scripted_platform &)> script;
    std::function<void(const battery_readings &)> check;
};

void PrintTo(const reading_case &c, std::ostream *os) { *os << c.name; }

class reading : public ::testing::TestWithParam<reading_case> {};

TEST_P(reading, from_platform_answer)
{
    script_typical_laptop();
    GetParam().script(g_script);
    GetParam().check(gather());
}

void expect_no_device_fields(const battery_readings &r)
{
    EXPECT_FALSE(r.device_answered);
    EXPECT_STREQ(r.technology_name, "");
    EXPECT_EQ(r.design_mwh, -1);
    EXPECT_EQ(r.full_mwh, -1);
    EXPECT_EQ(r.cycles, -1);
    EXPECT_EQ(r.voltage_mv, -1);
    EXPECT_EQ(r.rate_mw, 0);
    EXPECT_FALSE(r.charging_known);
    EXPECT_FALSE(r.charging);
    EXPECT_EQ(r.current_mwh, -1);
}

INSTANTIATE_TEST_SUITE_P(
    readings, reading,
    ::testing::Values(
        reading_case{"typical_laptop", [](scripted_platform &) {},
                     [](const battery_readings &r) {
                         EXPECT_TRUE(r.percent_known);
                         EXPECT_EQ(r.percent, 87);
                         EXPECT_STREQ(r.technology_name, "Nickel-Metal-Hydride");
                         EXPECT_EQ(r.design_mwh, 50000);
                         EXPECT_EQ(r.full_mwh, 42000);
                         EXPECT_EQ(r.current_mwh, 36540);
                         EXPECT_EQ(r.cycles, 123);
                         EXPECT_EQ(r.voltage_mv, 12500);
                         EXPECT_EQ(r.rate_mw, -8500);
                         EXPECT_TRUE(r.charging_known);
                         EXPECT_FALSE(r.charging);
                         EXPECT_TRUE(r.device_answered);
                     }},
        reading_case{"percent_100_is_known", [](scripted_platform &s) { s.battery_life_percent = 100; },
                     [](const battery_readings &r) { EXPECT_EQ(r.percent, 100); }},
        reading_case{"percent_101_is_not_known", [](scripted_platform &s) { s.battery_life_percent = 101; },
                     [](const battery_readings &r) {
                         EXPECT_FALSE(r.percent_known);
                         EXPECT_EQ(r.percent, -1);
                         EXPECT_EQ(r.current_mwh, -1);
                     }},
        reading_case{"percent_255_is_not_known", [](scripted_platform &s) { s.battery_life_percent = 255; },
                     [](const battery_readings &r) { EXPECT_FALSE(r.percent_known); }},
        reading_case{"failed_power_status_writing_nothing",
                     [](scripted_platform &s) {
                         s.power_succeeds = false;
                         s.power_writes = false;
                     },
                     [](const battery_readings &r) {
                         EXPECT_FALSE(r.percent_known);
                         EXPECT_EQ(r.percent, -1);
                         EXPECT_TRUE(r.device_answered);
                     }},
        reading_case{"failed_power_status_with_values_written",
                     [](scripted_platform &s) {
                         s.power_succeeds = false;
                         s.battery_flag = 128;
                     },
                     [](const battery_readings &r) {
                         EXPECT_FALSE(r.percent_known);
                         EXPECT_TRUE(r.device_answered);
                     }},
        reading_case{"open_error_with_percent_keeps_the_percent_alone",
                     [](scripted_platform &s) {
                         s.battery_life_percent = 80;
                         s.open_handle = platform_invalid_handle;
                         s.open_error = 5;
                     },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.percent, 80);
                         expect_no_device_fields(r);
                         EXPECT_EQ(g_script.message_calls, 0);
                     }},
        reading_case{"tag_query_fails", [](scripted_platform &s) { s.tag_succeeds = false; },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.percent, 87);
                         expect_no_device_fields(r);
                         EXPECT_EQ(g_script.io_count, 1);
                     }},
        reading_case{"information_of_35_bytes_does_not_count",
                     [](scripted_platform &s) { s.information_bytes = 35; },
                     [](const battery_readings &r) {
                         EXPECT_STREQ(r.technology_name, "");
                         EXPECT_EQ(r.design_mwh, -1);
                         EXPECT_EQ(r.full_mwh, -1);
                         EXPECT_EQ(r.cycles, -1);
                         EXPECT_EQ(r.current_mwh, -1);
                         EXPECT_TRUE(r.device_answered);   // the status counted
                         EXPECT_EQ(r.voltage_mv, 12500);
                     }},
        reading_case{"information_fails_and_status_short",
                     [](scripted_platform &s) {
                         s.information_succeeds = false;
                         s.status_bytes = 15;
                     },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.percent, 87);
                         expect_no_device_fields(r);
                         EXPECT_EQ(g_script.io_count, 3);   // status asked all the same
                     }},
        reading_case{"status_of_15_bytes_does_not_count", [](scripted_platform &s) { s.status_bytes = 15; },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.voltage_mv, -1);
                         EXPECT_EQ(r.rate_mw, 0);
                         EXPECT_FALSE(r.charging_known);
                         EXPECT_TRUE(r.device_answered);
                         EXPECT_EQ(r.design_mwh, 50000);
                     }},
        reading_case{"status_fails", [](scripted_platform &s) { s.status_succeeds = false; },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.voltage_mv, -1);
                         EXPECT_EQ(r.rate_mw, 0);
                         EXPECT_FALSE(r.charging_known);
                         EXPECT_TRUE(r.device_answered);
                     }},
        reading_case{"technology_8_is_other", [](scripted_platform &s) { s.information.technology = 8; },
                     [](const battery_readings &r) { EXPECT_STREQ(r.technology_name, "Other"); }},
        reading_case{"technology_0_is_lead_acid", [](scripted_platform &s) { s.information.technology = 0; },
                     [](const battery_readings &r) { EXPECT_STREQ(r.technology_name, "Lead-Acid"); }},
        reading_case{"technology_9_has_no_name", [](scripted_platform &s) { s.information.technology = 9; },
                     [](const battery_readings &r) { EXPECT_STREQ(r.technology_name, ""); }},
        reading_case{"technology_255_has_no_name", [](scripted_platform &s) { s.information.technology = 255; },
                     [](const battery_readings &r) { EXPECT_STREQ(r.technology_name, ""); }},
        reading_case{"capacity_limits",
                     [](scripted_platform &s) {
                         s.information.designed_capacity = 99999999;
                         s.information.full_charged_capacity = 100000000;
                     },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.design_mwh, 99999999);
                         EXPECT_EQ(r.full_mwh, -1);
                         EXPECT_EQ(r.current_mwh, -1);
                     }},
        reading_case{"unknown_capacity_and_zero",
                     [](scripted_platform &s) {
                         s.information.designed_capacity = 0xFFFFFFFFu;
                         s.information.full_charged_capacity = 0;
                     },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.design_mwh, -1);
                         EXPECT_EQ(r.full_mwh, 0);
                         EXPECT_EQ(r.current_mwh, -1);
                     }},
        reading_case{"cycle_count_0_is_not_known", [](scripted_platform &s) { s.information.cycle_count = 0; },
                     [](const battery_readings &r) { EXPECT_EQ(r.cycles, -1); }},
        reading_case{"cycle_count_all_ones_is_not_known",
                     [](scripted_platform &s) { s.information.cycle_count = 0xFFFFFFFFu; },
                     [](const battery_readings &r) { EXPECT_EQ(r.cycles, -1); }},
        reading_case{"cycle_count_1", [](scripted_platform &s) { s.information.cycle_count = 1; },
                     [](const battery_readings &r) { EXPECT_EQ(r.cycles, 1); }},
        reading_case{"cycle_count_carried_bit_for_bit",
                     [](scripted_platform &s) { s.information.cycle_count = 0xFFFFFFFEu; },
                     [](const battery_readings &r) { EXPECT_EQ(r.cycles, -2); }},
        reading_case{"charging_and_discharging_bits", [](scripted_platform &s) { s.status.power_state = 0x6; },
                     [](const battery_readings &r) {
                         EXPECT_TRUE(r.charging_known);
                         EXPECT_TRUE(r.charging);
                     }},
        reading_case{"on_line_alone_is_no_charging_state",
                     [](scripted_platform &s) { s.status.power_state = 0x1; },
                     [](const battery_readings &r) {
                         EXPECT_FALSE(r.charging_known);
                         EXPECT_FALSE(r.charging);
                         EXPECT_TRUE(r.device_answered);
                     }},
        reading_case{"unknown_voltage", [](scripted_platform &s) { s.status.voltage = 0xFFFFFFFFu; },
                     [](const battery_readings &r) { EXPECT_EQ(r.voltage_mv, -1); }},
        reading_case{"unknown_rate_is_not_a_rate",
                     [](scripted_platform &s) { s.status.rate = battery_unknown_rate; },
                     [](const battery_readings &r) { EXPECT_EQ(r.rate_mw, 0); }},
        reading_case{"relative_capacity_units_are_not_mwh",
                     [](scripted_platform &s) { s.information.capabilities = 0x40000000u | 0x80000000u; },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.design_mwh, -1);
                         EXPECT_EQ(r.full_mwh, -1);
                         EXPECT_EQ(r.current_mwh, -1);
                         EXPECT_EQ(r.rate_mw, 0);
                         EXPECT_STREQ(r.technology_name, "Nickel-Metal-Hydride");
                         EXPECT_EQ(r.cycles, 123);
                         EXPECT_EQ(r.voltage_mv, 12500);
                         EXPECT_TRUE(r.charging_known);
                         EXPECT_EQ(r.percent, 87);
                     }},
        reading_case{"other_capability_bits_change_nothing",
                     [](scripted_platform &s) { s.information.capabilities = 0x80000000u | 0x1u; },
                     [](const battery_readings &r) {
                         EXPECT_EQ(r.design_mwh, 50000);
                         EXPECT_EQ(r.rate_mw, -8500);
                     }},
        reading_case{"relative_units_in_an_information_answer_that_does_not_count",
                     [](scripted_platform &s) {
                         s.information.capabilities = 0x40000000u;
                         s.information_bytes = 35;
                     },
                     [](const battery_readings &r) { EXPECT_EQ(r.rate_mw, -8500); }},
        reading_case{"most_negative_real_rate", [](scripted_platform &s) { s.status.rate = INT32_MIN + 1; },
                     [](const battery_readings &r) { EXPECT_EQ(r.rate_mw, INT32_MIN + 1); }}),
    [](const ::testing::TestParamInfo<reading_case> &p) { return std::string(p.param.name); });

// The estimate divides by 100.0 first, then multiplies, then rounds half to even.
struct estimate_case {
    std::uint8_t percent;
    std::uint32_t full_mwh;
    std::int32_t current_mwh;
};

void PrintTo(const estimate_case &c, std::ostream *os)
{
    *os << int(c.percent) << "% of " << c.full_mwh << " mWh";
}

class remaining_energy : public ::testing::TestWithParam<estimate_case> {};

TEST_P(remaining_energy, is_estimated_from_percent_and_full_capacity)
{
    script_typical_laptop();
    g_script.battery_life_percent = GetParam().percent;
    g_script.information.full_charged_capacity = GetParam().full_mwh;
    EXPECT_EQ(gather().current_mwh, GetParam().current_mwh);
}

INSTANTIATE_TEST_SUITE_P(readings, remaining_energy,
                         ::testing::Values(estimate_case{50, 5, 2}, estimate_case{50, 3, 2},
                                           estimate_case{1, 50, 0}, estimate_case{7, 150, 11},
                                           estimate_case{100, 99999999, 99999999}, estimate_case{87, 46750, 40672},
                                           estimate_case{0, 42000, 0}, estimate_case{80, 0, -1}));

TEST(technology_names, are_the_nine_documented_names)
{
    const char *expected[] = {"Lead-Acid",   "Nickel-Metal-Hydride", "Lithium-Polymer",
                              "Lithium-Ion", "Nickel-Cadmium",       "Nickel-Zinc",
                              "Sodium-Ion",  "Solid-State",          "Other"};
    for (int i = 0; i < technology_name_count; ++i) {
        EXPECT_STREQ(ambrel_technology_names[i], expected[i]);
    }
}

}  // namespace
