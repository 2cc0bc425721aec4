// The whole status call through the exported functions, over the scripted
// platform: fixed answers, buffers, the device-error message, and what the
// library asks the platform.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ambrel.h"
#include "scripted_platform.h"

namespace {

const std::string typical_report =
    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
    R"("chemistry":"Nickel-Metal-Hydride"})";
const std::string absent = R"({"present": false})";
const std::string present_unknown = R"({"present": true, "percent": null, "charging": null})";

class status_call : public ::testing::Test {
protected:
    void SetUp() override { script_typical_laptop(); }
    void TearDown() override
    {
        EXPECT_EQ(g_script.open_handles, 0) << "a device handle was left open";
        EXPECT_EQ(g_script.bad_closes, 0) << "a handle was closed that was not open";
    }
};

TEST_F(status_call, typical_laptop_gives_the_full_report)
{
    EXPECT_EQ(ambrel_status(), typical_report);
    EXPECT_EQ(typical_report.size(), 203u);
    EXPECT_STREQ(ambrel_last_error(), "");
}

TEST_F(status_call, asks_the_platform_with_the_documented_arguments)
{
    ambrel_status();
    const scripted_platform &s = g_script;
    EXPECT_EQ(s.power_calls, 1);
    ASSERT_EQ(s.open_calls, 1);
    EXPECT_EQ(std::u16string(s.open_path), u"\\\\.\\BATTERY");
    EXPECT_EQ(std::u16string(s.open_path).size(), 11u);
    EXPECT_EQ(s.open_access, 0x80000000u);
    EXPECT_EQ(s.open_share, 1u);
    EXPECT_EQ(s.open_creation, 3u);
    EXPECT_EQ(s.open_attributes, 0x80u);

    ASSERT_EQ(s.io_count, 3);
    const scripted_io_call &tag = s.io[0];
    EXPECT_EQ(tag.device, s.open_handle);
    EXPECT_EQ(tag.control_code, ioctl_battery_query_tag);
    EXPECT_EQ(tag.in_size, 4u);
    EXPECT_EQ(tag.out_size, 4u);
    std::uint32_t wait_ms;
    std::memcpy(&wait_ms, tag.in, 4);
    EXPECT_EQ(wait_ms, 0u);

    const scripted_io_call &info = s.io[1];
    EXPECT_EQ(info.control_code, ioctl_battery_query_information);
    EXPECT_EQ(info.in_size, 12u);
    EXPECT_EQ(info.out_size, 36u);
    battery_query_information_record query;
    std::memcpy(&query, info.in, sizeof query);
    EXPECT_EQ(query.battery_tag, 7u);
    EXPECT_EQ(query.information_level, 0u);
    EXPECT_EQ(query.at_rate, 0);

    const scripted_io_call &status = s.io[2];
    EXPECT_EQ(status.control_code, ioctl_battery_query_status);
    EXPECT_EQ(status.in_size, 20u);
    EXPECT_EQ(status.out_size, 16u);
    battery_wait_status_record wait;
    std::memcpy(&wait, status.in, sizeof wait);
    EXPECT_EQ(wait.battery_tag, 7u);
    EXPECT_EQ(wait.timeout, 0u);
    EXPECT_EQ(wait.power_state, 0u);
    EXPECT_EQ(wait.low_capacity, 0u);
    EXPECT_EQ(wait.high_capacity, 0u);
    EXPECT_EQ(s.close_calls, 1);
}

// --- Paths that end before the report ---------------------------------------

struct early_end_case {
    const char *name;
    bool power_succeeds;
    std::uint8_t flag;
    std::uint8_t percent;
    bool open_fails;
    std::uint32_t open_error;
    const char *message;
    const char *answer;
    const char *last_error;
    int open_calls;
    int message_calls;
};

void PrintTo(const early_end_case &c, std::ostream *os) { *os << c.name; }

class early_end : public status_call, public ::testing::WithParamInterface<early_end_case> {};

TEST_P(early_end, answers_and_message)
{
    const early_end_case &c = GetParam();
    g_script.power_succeeds = c.power_succeeds;
    g_script.power_writes = c.power_succeeds;
    g_script.battery_flag = c.flag;
    g_script.battery_life_percent = c.percent;
    if (c.open_fails) {
        g_script.open_handle = platform_invalid_handle;
        g_script.open_error = c.open_error;
    }
    g_script.message = c.message;
    EXPECT_STREQ(ambrel_status(), c.answer);
    EXPECT_STREQ(ambrel_last_error(), c.last_error);
    EXPECT_EQ(g_script.open_calls, c.open_calls);
    EXPECT_EQ(g_script.message_calls, c.message_calls);
    if (c.message_calls > 0) {
        EXPECT_EQ(g_script.message_code, c.open_error);
        EXPECT_EQ(g_script.message_size, 128u);
    }
}

const char *const percent_alone =
    R"({"present":true,"percent":80,"charging":null,"health_pct":null,"design_mwh":null,)"
    R"("full_mwh":null,"current_mwh":null,"cycles":null,"voltage_mv":null,"rate_mw":null})";

INSTANTIATE_TEST_SUITE_P(
    status_call, early_end,
    ::testing::Values(
        early_end_case{"no_battery_flag", true, 128, 255, false, 0, nullptr, R"({"present": false})", "", 0, 0},
        early_end_case{"no_battery_flag_with_percent", true, 128, 80, false, 0, nullptr, R"({"present": false})", "",
                       0, 0},
        early_end_case{"file_not_found", true, 0, 80, true, 2, nullptr, R"({"present": false})", "", 1, 0},
        early_end_case{"path_not_found", true, 255, 255, true, 3, nullptr, R"({"present": false})", "", 1, 0},
        early_end_case{"access_denied_without_percent", true, 255, 255, true, 5, "Access is denied.\r\n",
                       R"({"present": true, "percent": null, "charging": null})", "Access is denied.\r\n", 1, 1},
        early_end_case{"message_without_text", true, 255, 255, true, 1234, nullptr,
                       R"({"present": true, "percent": null, "charging": null})", "system error 1234", 1, 1},
        early_end_case{"access_denied_with_percent", true, 0, 80, true, 5, "Access is denied.\r\n", percent_alone, "",
                       1, 0},
        early_end_case{"power_status_fails_then_device_error", false, 0, 0, true, 5, "Access is denied.\r\n",
                       R"({"present": true, "percent": null, "charging": null})", "Access is denied.\r\n", 1, 1}),
    [](const ::testing::TestParamInfo<early_end_case> &p) { return std::string(p.param.name); });

TEST_F(status_call, a_message_call_that_fails_leaves_no_text_of_its_own)
{
    // Whatever the failed call wrote (here a whole message) is not believed.
    g_script.battery_life_percent = 255;
    g_script.open_handle = platform_invalid_handle;
    g_script.open_error = 5;
    g_script.message_call_fails = true;
    EXPECT_EQ(ambrel_status(), present_unknown);
    EXPECT_STREQ(ambrel_last_error(), "system error 5");
}

TEST_F(status_call, a_flag_with_more_bits_than_no_battery_still_opens_the_device)
{
    for (int flag : {129, 255}) {
        script_typical_laptop();
        g_script.battery_flag = static_cast<std::uint8_t>(flag);
        EXPECT_EQ(ambrel_status(), typical_report) << flag;
        EXPECT_EQ(g_script.open_calls, 1);
    }
}

TEST_F(status_call, failed_power_status_is_no_known_percentage)
{
    g_script.power_succeeds = false;
    g_script.power_writes = false;
    std::string answer = ambrel_status();
    EXPECT_NE(answer.find(R"("percent":null,)"), std::string::npos) << answer;
    EXPECT_NE(answer.find(R"("current_mwh":null,)"), std::string::npos) << answer;
    EXPECT_EQ(g_script.open_calls, 1);
}

TEST_F(status_call, nothing_known_answers_present_unknown)
{
    g_script.battery_life_percent = 255;
    g_script.tag_succeeds = false;
    EXPECT_EQ(ambrel_status(), present_unknown);
    EXPECT_STREQ(ambrel_last_error(), "");
    EXPECT_EQ(g_script.close_calls, 1);
}

TEST_F(status_call, tag_zero_is_a_failed_tag_query)
{
    g_script.tag = 0;
    g_script.battery_life_percent = 55;
    EXPECT_STREQ(ambrel_status(),
                 R"({"present":true,"percent":55,"charging":null,"health_pct":null,"design_mwh":null,)"
                 R"("full_mwh":null,"current_mwh":null,"cycles":null,"voltage_mv":null,"rate_mw":null})");
    EXPECT_EQ(g_script.io_count, 1);
    EXPECT_EQ(g_script.close_calls, 1);
}

// --- Buffers and the other two functions ------------------------------------

TEST_F(status_call, pointers_are_stable_and_show_the_latest_answer)
{
    const char *first = ambrel_status();
    const char *error_text = ambrel_last_error();
    g_script.battery_flag = 128;
    const char *second = ambrel_status();
    EXPECT_EQ(first, second);
    EXPECT_EQ(error_text, ambrel_last_error());
    EXPECT_EQ(std::string(first), absent);
}

TEST_F(status_call, last_error_is_emptied_by_the_next_call)
{
    g_script.battery_life_percent = 255;
    g_script.open_handle = platform_invalid_handle;
    g_script.open_error = 5;
    ambrel_status();
    ASSERT_STREQ(ambrel_last_error(), "Access is denied.\r\n");
    script_typical_laptop();
    EXPECT_EQ(ambrel_status(), typical_report);
    EXPECT_STREQ(ambrel_last_error(), "");
}

TEST_F(status_call, free_string_changes_nothing)
{
    g_script.battery_life_percent = 255;
    g_script.open_handle = platform_invalid_handle;
    g_script.open_error = 5;
    const char *status = ambrel_status();
    const char *error_text = ambrel_last_error();
    static const char other[] = "other";
    for (const char *p : {status, error_text, other, static_cast<const char *>(nullptr)}) {
        ambrel_free_string(p);
    }
    EXPECT_EQ(std::string(status), present_unknown);
    EXPECT_STREQ(error_text, "Access is denied.\r\n");
    EXPECT_STREQ(other, "other");
}

}  // namespace
