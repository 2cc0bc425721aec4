// Every allocation of a status call made to fail in turn, with the real
// allocator underneath: each answer must be one the library documents for
// want of memory, and nothing may stay allocated.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "allocation_watch.h"
#include "ambrel.h"
#include "scripted_platform.h"

namespace {

const std::string full_report =
    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
    R"("chemistry":"Nickel-Metal-Hydride"})";

// The members of a compact report, in order (no value holds a comma).
std::vector<std::string> members_of(const std::string &text)
{
    std::vector<std::string> members;
    std::string body = text.substr(1, text.size() - 2);
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t comma = body.find(',', start);
        if (comma == std::string::npos) comma = body.size();
        members.push_back(body.substr(start, comma - start));
        start = comma + 1;
    }
    return members;
}

// True when text is the full report with some members left out, the rest in order.
bool is_report_with_members_missing(const std::string &text)
{
    if (text.size() < 2 || text.front() != '{' || text.back() != '}') return false;
    std::vector<std::string> all = members_of(full_report);
    std::size_t next = 0;
    for (const std::string &member : members_of(text)) {
        while (next < all.size() && all[next] != member) ++next;
        if (next == all.size()) return false;
        ++next;
    }
    return true;
}

allocation_report status_with_failure_at(int n, std::string *answer)
{
    script_typical_laptop();
    arm_allocation_watch(n);
    const char *text = ambrel_status();
    allocation_report report = disarm_allocation_watch();
    *answer = text;
    return report;
}

TEST(allocation_failure, at_every_allocation_gives_a_documented_answer_and_leaks_nothing)
{
    std::string answer;
    allocation_report whole = status_with_failure_at(0, &answer);
    ASSERT_EQ(answer, full_report);
    EXPECT_EQ(whole.live_blocks, 0);
    ASSERT_GT(whole.allocations, 0);

    bool saw_no_document = false, saw_empty = false, saw_partial = false;
    for (int n = 1; n <= whole.allocations; ++n) {
        allocation_report report = status_with_failure_at(n, &answer);
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(whole.allocations) +
                     " failed; answer " + answer);
        EXPECT_EQ(report.live_blocks, 0);
        EXPECT_STREQ(ambrel_last_error(), "");
        if (answer == R"({"present":false,"percent":null})") {
            saw_no_document = true;
            EXPECT_EQ(n, 1) << "only the document itself may fail this way";
        } else if (answer == "{}") {
            saw_empty = true;
        } else {
            saw_partial = true;
            EXPECT_TRUE(is_report_with_members_missing(answer));
            EXPECT_NE(answer, full_report);
        }
    }
    EXPECT_TRUE(saw_no_document);
    EXPECT_TRUE(saw_empty);
    EXPECT_TRUE(saw_partial) << "no failure left a report with members missing";
}

TEST(allocation_failure, the_helper_recognises_reports_with_members_missing)
{
    EXPECT_TRUE(is_report_with_members_missing(
        R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
        R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500})"));
    EXPECT_TRUE(is_report_with_members_missing(R"({"present":true,"cycles":123})"));
    EXPECT_FALSE(is_report_with_members_missing(R"({"cycles":123,"present":true})"));
    EXPECT_FALSE(is_report_with_members_missing(R"({"present":true,"cycles":null})"));
}

}  // namespace

namespace {

// The power picture has no partial answer: memory failing anywhere gives {}.
TEST(allocation_failure, of_the_power_picture_gives_empty_and_leaks_nothing)
{
    script_two_battery_laptop();
    arm_allocation_watch(0);
    const char *text = ambrel_power();
    allocation_report all = disarm_allocation_watch();
    std::string whole = text;   // copied once nothing is watched
    ASSERT_EQ(whole.rfind(R"({"ac_online":false,)", 0), 0u) << whole;
    EXPECT_EQ(all.live_blocks, 0);
    ASSERT_GT(all.allocations, 0);
    for (int n = 1; n <= all.allocations; ++n) {
        script_two_battery_laptop();
        arm_allocation_watch(n);
        text = ambrel_power();
        allocation_report report = disarm_allocation_watch();
        std::string answer = text;
        EXPECT_EQ(answer, "{}") << "allocation " << n << " of " << all.allocations << " failed";
        EXPECT_EQ(report.live_blocks, 0) << "allocation " << n;
    }
}

}  // namespace
