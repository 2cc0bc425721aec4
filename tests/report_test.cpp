// The report stage from readings records: members, null rules, derived
// values and the exact text the writer produces.
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>
#include <yyjson.h>

#include "answer.h"
#include "report.h"

namespace {

battery_readings nothing_known()
{
    battery_readings r;
    std::memset(&r, 0, sizeof r);
    r.percent = -1;
    r.design_mwh = r.full_mwh = r.current_mwh = r.cycles = r.voltage_mv = -1;
    return r;
}

// Example 1: everything known, discharging.
battery_readings everything_known()
{
    battery_readings r = nothing_known();
    r.percent_known = true;
    r.percent = 87;
    r.charging_known = true;
    r.device_answered = true;
    r.design_mwh = 50000;
    r.full_mwh = 42000;
    r.current_mwh = 36540;
    r.cycles = 123;
    r.voltage_mv = 12500;
    r.rate_mw = -8500;
    std::strcpy(r.technology_name, "Nickel-Metal-Hydride");
    return r;
}

std::string report(const battery_readings &r)
{
    g_result_buf[0] = '\0';
    g_last_error[0] = '\0';
    if (yyjson_mut_doc *doc = compose_report(r)) {
        write_report(doc);
    }
    EXPECT_STREQ(g_last_error, "");
    return g_result_buf;
}

struct report_case {
    const char *name;
    std::function<void(battery_readings &)> change;
    const char *text;
};

void PrintTo(const report_case &c, std::ostream *os) { *os << c.name; }

class report_text : public ::testing::TestWithParam<report_case> {};

TEST_P(report_text, is_written_byte_for_byte)
{
    battery_readings r = everything_known();
    GetParam().change(r);
    EXPECT_EQ(report(r), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    report, report_text,
    ::testing::Values(
        report_case{"example_1_everything_known", [](battery_readings &) {},
                    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
                    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"example_2_charging_without_cycles",
                    [](battery_readings &r) {
                        r.charging = true;
                        r.full_mwh = 46750;
                        r.current_mwh = 40672;
                        r.cycles = -1;
                        r.voltage_mv = 12600;
                        r.rate_mw = 15230;
                        std::strcpy(r.technology_name, "Lithium-Ion");
                    },
                    R"({"present":true,"percent":87,"charging":true,"health_pct":93.5,"design_mwh":50000,)"
                    R"("full_mwh":46750,"current_mwh":40672,"cycles":null,"voltage_mv":12600,"rate_mw":15230,)"
                    R"("chemistry":"Lithium-Ion"})"},
        report_case{"example_3_percentage_alone",
                    [](battery_readings &r) {
                        r = nothing_known();
                        r.percent_known = true;
                        r.percent = 55;
                    },
                    R"({"present":true,"percent":55,"charging":null,"health_pct":null,"design_mwh":null,)"
                    R"("full_mwh":null,"current_mwh":null,"cycles":null,"voltage_mv":null,"rate_mw":null})"},
        report_case{"example_4_information_without_status_or_percent",
                    [](battery_readings &r) {
                        r = nothing_known();
                        r.device_answered = true;
                        r.design_mwh = 50000;
                        r.full_mwh = 43750;
                        r.cycles = 7;
                        std::strcpy(r.technology_name, "Lithium-Polymer");
                    },
                    R"({"present":true,"percent":null,"charging":null,"health_pct":87.5,"design_mwh":50000,)"
                    R"("full_mwh":43750,"current_mwh":null,"cycles":7,"voltage_mv":null,"rate_mw":null,)"
                    R"("chemistry":"Lithium-Polymer"})"},
        report_case{"example_5_nothing_known", [](battery_readings &r) { r = nothing_known(); },
                    R"({"present": true, "percent": null, "charging": null})"},
        report_case{"device_answered_with_nothing_usable",
                    [](battery_readings &r) {
                        r = nothing_known();
                        r.device_answered = true;
                    },
                    R"({"present":true,"percent":null,"charging":null,"health_pct":null,"design_mwh":null,)"
                    R"("full_mwh":null,"current_mwh":null,"cycles":null,"voltage_mv":null,"rate_mw":null})"},
        report_case{"zero_percent_and_zero_estimate_are_values",
                    [](battery_readings &r) {
                        r.percent = 0;
                        r.current_mwh = 0;
                    },
                    R"({"present":true,"percent":0,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
                    R"("full_mwh":42000,"current_mwh":0,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"zero_or_negative_voltage_and_zero_rate_are_null",
                    [](battery_readings &r) {
                        r.voltage_mv = 0;
                        r.rate_mw = 0;
                        r.cycles = -2;
                        r.technology_name[0] = '\0';
                    },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
                    R"("full_mwh":42000,"current_mwh":36540,"cycles":null,"voltage_mv":null,"rate_mw":null})"},
        report_case{"negative_voltage_is_null_and_extreme_rate_written",
                    [](battery_readings &r) {
                        r.voltage_mv = -5;
                        r.rate_mw = INT32_MIN;
                    },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
                    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":null,"rate_mw":-2147483648,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"health_above_100_is_not_clamped",
                    [](battery_readings &r) {
                        r.full_mwh = 52500;
                        r.current_mwh = 45675;
                    },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":105.0,"design_mwh":50000,)"
                    R"("full_mwh":52500,"current_mwh":45675,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"empty_full_capacity",
                    [](battery_readings &r) {
                        r.full_mwh = 0;
                        r.current_mwh = -1;
                    },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":0.0,"design_mwh":50000,)"
                    R"("full_mwh":0,"current_mwh":null,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"one_capacity_known",
                    [](battery_readings &r) {
                        r.design_mwh = -1;
                        r.current_mwh = 36540;
                    },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":null,"design_mwh":null,)"
                    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"design_capacity_zero_gives_no_health",
                    [](battery_readings &r) { r.design_mwh = 0; },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":null,"design_mwh":0,)"
                    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Nickel-Metal-Hydride"})"},
        report_case{"both_capacities_zero_gives_no_health",
                    [](battery_readings &r) {
                        r.design_mwh = 0;
                        r.full_mwh = 0;
                        r.current_mwh = -1;
                        std::strcpy(r.technology_name, "Other");
                    },
                    R"({"present":true,"percent":87,"charging":false,"health_pct":null,"design_mwh":0,)"
                    R"("full_mwh":0,"current_mwh":null,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                    R"("chemistry":"Other"})"}),
    [](const ::testing::TestParamInfo<report_case> &p) { return std::string(p.param.name); });

// health_pct is full * 100.0 / design, written in the shortest form that
// reads back as the same double, always with a fraction or a decimal point.
struct health_case {
    std::int32_t full_mwh;
    std::int32_t design_mwh;
    const char *text;
};

void PrintTo(const health_case &c, std::ostream *os) { *os << c.full_mwh << "/" << c.design_mwh; }

class health_text : public ::testing::TestWithParam<health_case> {};

TEST_P(health_text, has_the_shortest_exact_digits)
{
    battery_readings r = everything_known();
    r.full_mwh = GetParam().full_mwh;
    r.design_mwh = GetParam().design_mwh;
    std::string text = report(r);
    std::string expected = std::string("\"health_pct\":") + GetParam().text + ",";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(report, health_text,
                         ::testing::Values(health_case{42000, 50000, "84.0"}, health_case{41234, 50000, "82.468"},
                                           health_case{2, 3, "66.66666666666667"},
                                           health_case{1, 3, "33.333333333333336"}, health_case{0, 50000, "0.0"},
                                           health_case{99999999, 1, "9999999900.0"},
                                           health_case{1, 99999999, "0.0000010000000100000002"},
                                           health_case{5, 100000, "0.005"}, health_case{55000, 50000, "110.0"}));

TEST(report, nothing_known_makes_no_document)
{
    g_result_buf[0] = '\0';
    EXPECT_EQ(compose_report(nothing_known()), nullptr);
    EXPECT_STREQ(g_result_buf, R"({"present": true, "percent": null, "charging": null})");
}

TEST(report, a_document_without_root_is_written_as_empty_object)
{
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    ASSERT_NE(doc, nullptr);
    g_result_buf[0] = '\0';
    write_report(doc);
    EXPECT_STREQ(g_result_buf, "{}");
}

TEST(report, a_non_finite_real_loses_the_whole_report)
{
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    yyjson_mut_val *obj = yyjson_mut_obj(doc);
    yyjson_mut_doc_set_root(doc, obj);
    yyjson_mut_obj_add_bool(doc, obj, "present", true);
    yyjson_mut_obj_add_real(doc, obj, "health_pct", 1.0 / 0.0);
    g_result_buf[0] = '\0';
    write_report(doc);
    EXPECT_STREQ(g_result_buf, "{}");
}

}  // namespace
