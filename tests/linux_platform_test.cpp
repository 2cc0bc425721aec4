// The Linux platform: power_supply trees written into temporary folders, read
// through the whole status call, and the translation of uevent texts.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "ambrel.h"
#include "platform_linux.h"
#include "supply_tree.h"

namespace {

// --- Fixture trees --------------------------------------------------------------

const char ac_uevent[] = "POWER_SUPPLY_NAME=AC\nPOWER_SUPPLY_TYPE=Mains\nPOWER_SUPPLY_ONLINE=0\n";

// The README's example laptop: 87 %, discharging, 50000/42000 mWh, 123 cycles,
// 12500 mV, 8500 mW, NiMH.
const char laptop_uevent[] =
    "POWER_SUPPLY_NAME=BAT0\n"
    "POWER_SUPPLY_TYPE=Battery\n"
    "POWER_SUPPLY_STATUS=Discharging\n"
    "POWER_SUPPLY_PRESENT=1\n"
    "POWER_SUPPLY_TECHNOLOGY=NiMH\n"
    "POWER_SUPPLY_CYCLE_COUNT=123\n"
    "POWER_SUPPLY_VOLTAGE_MIN_DESIGN=11100000\n"
    "POWER_SUPPLY_VOLTAGE_NOW=12500000\n"
    "POWER_SUPPLY_POWER_NOW=8500000\n"
    "POWER_SUPPLY_ENERGY_FULL_DESIGN=50000000\n"
    "POWER_SUPPLY_ENERGY_FULL=42000000\n"
    "POWER_SUPPLY_ENERGY_NOW=36540000\n"
    "POWER_SUPPLY_CAPACITY=87\n"
    "POWER_SUPPLY_CAPACITY_LEVEL=Normal\n"
    "POWER_SUPPLY_MODEL_NAME=Example\n";

const char laptop_report[] =
    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
    R"("chemistry":"Nickel-Metal-Hydride"})";

TEST_F(power_supply_tree, laptop_on_battery)
{
    supply("AC", ac_uevent);
    supply("BAT0", laptop_uevent);
    EXPECT_STREQ(ambrel_status(), laptop_report);
    EXPECT_STREQ(ambrel_last_error(), "");
}

TEST_F(power_supply_tree, charging_laptop)
{
    std::string uevent = replaced(laptop_uevent, "=Discharging", "=Charging");
    uevent = replaced(uevent, "POWER_NOW=8500000", "POWER_NOW=15230000");
    supply("BAT0", uevent);
    EXPECT_STREQ(ambrel_status(),
                 R"({"present":true,"percent":87,"charging":true,"health_pct":84.0,"design_mwh":50000,)"
                 R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":15230,)"
                 R"("chemistry":"Nickel-Metal-Hydride"})");
}

TEST_F(power_supply_tree, full_battery_on_mains)
{
    std::string uevent = replaced(laptop_uevent, "=Discharging", "=Full");
    uevent = replaced(uevent, "CAPACITY=87", "CAPACITY=100");
    uevent = replaced(uevent, "POWER_NOW=8500000", "POWER_NOW=0");
    supply("BAT0", uevent);
    EXPECT_STREQ(ambrel_status(),
                 R"({"present":true,"percent":100,"charging":null,"health_pct":84.0,"design_mwh":50000,)"
                 R"("full_mwh":42000,"current_mwh":42000,"cycles":123,"voltage_mv":12500,"rate_mw":null,)"
                 R"("chemistry":"Nickel-Metal-Hydride"})");
}

TEST_F(power_supply_tree, unit_that_reports_charge_instead_of_energy)
{
    supply("BAT1", "POWER_SUPPLY_TYPE=Battery\n"
                   "POWER_SUPPLY_STATUS=Discharging\n"
                   "POWER_SUPPLY_TECHNOLOGY=Li-ion\n"
                   "POWER_SUPPLY_VOLTAGE_MIN_DESIGN=11400000\n"
                   "POWER_SUPPLY_VOLTAGE_NOW=11800000\n"
                   "POWER_SUPPLY_CURRENT_NOW=750000\n"
                   "POWER_SUPPLY_CHARGE_FULL_DESIGN=4400000\n"
                   "POWER_SUPPLY_CHARGE_FULL=3800000\n"
                   "POWER_SUPPLY_CAPACITY=50\n");
    // 4.4 Ah x 11.4 V = 50160 mWh; 3.8 Ah x 11.4 V = 43320 mWh; 0.75 A x 11.8 V = 8850 mW.
    EXPECT_STREQ(ambrel_status(),
                 R"({"present":true,"percent":50,"charging":false,"health_pct":86.36363636363636,)"
                 R"("design_mwh":50160,"full_mwh":43320,"current_mwh":21660,"cycles":null,"voltage_mv":11800,)"
                 R"("rate_mw":-8850,"chemistry":"Lithium-Ion"})");
}

TEST_F(power_supply_tree, a_device_battery_named_first_is_not_the_system_battery)
{
    supply("BAT0", "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\nPOWER_SUPPLY_CAPACITY=12\n"
                   "POWER_SUPPLY_STATUS=Discharging\n");
    supply("BAT1", laptop_uevent);
    EXPECT_STREQ(ambrel_status(), laptop_report);
}

TEST_F(power_supply_tree, of_two_batteries_the_first_in_name_order_answers)
{
    supply("BAT1", replaced(laptop_uevent, "CAPACITY=87", "CAPACITY=20"));
    supply("BAT0", laptop_uevent);
    supply("BAT2", replaced(laptop_uevent, "CAPACITY=87", "CAPACITY=30"));
    EXPECT_STREQ(ambrel_status(), laptop_report);
}

TEST_F(power_supply_tree, a_battery_reported_absent_is_passed_over)
{
    supply("BAT0", replaced(laptop_uevent, "PRESENT=1", "PRESENT=0"));
    supply("AC", ac_uevent);
    EXPECT_STREQ(ambrel_status(), R"({"present": false})");
}

TEST_F(power_supply_tree, mains_alone_is_no_battery)
{
    supply("AC", ac_uevent);
    EXPECT_STREQ(ambrel_status(), R"({"present": false})");
}

TEST_F(power_supply_tree, a_missing_folder_is_no_battery)
{
    linux_platform_set_root((root_ + "/missing").c_str());
    EXPECT_STREQ(ambrel_status(), R"({"present": false})");
    linux_platform_set_root((root_ + "/file").c_str());
    std::ofstream(root_ + "/file") << "not a folder";
    EXPECT_STREQ(ambrel_status(), R"({"present": false})");
    EXPECT_STREQ(ambrel_last_error(), "");
}

TEST_F(power_supply_tree, an_unreadable_uevent_is_passed_over)
{
    ASSERT_EQ(mkdir((root_ + "/BAT0").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root_ + "/BAT0/uevent").c_str(), 0755), 0);   // read() fails
    supply("BAT1", laptop_uevent);
    EXPECT_STREQ(ambrel_status(), laptop_report);
}

TEST_F(power_supply_tree, a_battery_without_any_usable_value)
{
    supply("BAT0", "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_CAPACITY=many\nPOWER_SUPPLY_STATUS=Unknown\n");
    EXPECT_STREQ(ambrel_status(),
                 R"({"present":true,"percent":null,"charging":null,"health_pct":null,"design_mwh":null,)"
                 R"("full_mwh":null,"current_mwh":null,"cycles":null,"voltage_mv":null,"rate_mw":null})");
}

TEST_F(power_supply_tree, a_battery_removed_between_finding_and_opening_is_absent)
{
    // Nothing found by the power status and nothing at the open: the open's
    // own search answers with "not found".
    supply("AC", ac_uevent);
    EXPECT_STREQ(ambrel_status(), R"({"present": false})");
    supply("BAT0", laptop_uevent);
    EXPECT_STREQ(ambrel_status(), laptop_report) << "nothing may be cached between calls";
}

TEST_F(power_supply_tree, a_huge_uevent_is_read_up_to_a_page_and_a_cut_line_dropped)
{
    // The capacity line straddles the first 4096 bytes: it must not read as "8".
    std::string uevent = "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\n";
    uevent += "POWER_SUPPLY_MODEL_NAME=" + std::string(4095 - uevent.size() - 24 - 1 - 22, 'x') + "\n";
    uevent += "POWER_SUPPLY_CAPACITY=87\n";
    ASSERT_EQ(uevent.find("=87"), 4094u);
    uevent += std::string(100000, 'y');
    supply("BAT0", uevent);
    std::string answer = ambrel_status();
    EXPECT_EQ(answer.rfind(R"({"present":true,"percent":null,"charging":false,)", 0), 0u) << answer;
}

// --- Translation of one uevent text ---------------------------------------------

struct translation {
    power_status_record power;
    battery_information_record info;
    battery_status_record status;
    bool battery;
};

translation translate(const std::string &uevent)
{
    uevent_fields fields;
    parse_uevent(uevent.data(), uevent.size(), &fields);
    translation t;
    t.battery = is_system_battery(fields);
    power_status_from_uevent(fields, &t.power);
    information_from_uevent(fields, &t.info);
    status_from_uevent(fields, &t.status);
    return t;
}

TEST(uevent_translation, the_example_laptop)
{
    translation t = translate(laptop_uevent);
    EXPECT_TRUE(t.battery);
    EXPECT_EQ(t.power.battery_life_percent, 87);
    EXPECT_EQ(t.power.battery_flag, 1);
    EXPECT_EQ(t.info.technology, 1);
    EXPECT_EQ(t.info.designed_capacity, 50000u);
    EXPECT_EQ(t.info.full_charged_capacity, 42000u);
    EXPECT_EQ(t.info.cycle_count, 123u);
    EXPECT_EQ(t.status.power_state, 0x2u);
    EXPECT_EQ(t.status.voltage, 12500u);
    EXPECT_EQ(t.status.rate, -8500);
}

TEST(uevent_translation, flags_follow_the_percentage_and_charging)
{
    const std::pair<const char *, int> cases[] = {
        {"POWER_SUPPLY_CAPACITY=67\nPOWER_SUPPLY_STATUS=Discharging\n", 1},
        {"POWER_SUPPLY_CAPACITY=66\n", 0},
        {"POWER_SUPPLY_CAPACITY=33\n", 0},
        {"POWER_SUPPLY_CAPACITY=32\n", 2},
        {"POWER_SUPPLY_CAPACITY=4\n", 6},
        {"POWER_SUPPLY_CAPACITY=4\nPOWER_SUPPLY_STATUS=Charging\n", 14},
        {"POWER_SUPPLY_CAPACITY=100\nPOWER_SUPPLY_STATUS=Charging\n", 9},
        {"POWER_SUPPLY_STATUS=Charging\n", 255},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(translate(std::string("POWER_SUPPLY_TYPE=Battery\n") + c.first).power.battery_flag, c.second)
            << c.first;
    }
}

TEST(uevent_translation, technologies)
{
    const std::pair<const char *, int> cases[] = {
        {"NiMH", 1}, {"Li-poly", 2}, {"Li-ion", 3}, {"LiFe", 3}, {"LiMn", 3},
        {"NiCd", 4}, {"Unknown", 255}, {"li-ion", 255}, {"Li-ion ", 255}, {"", 255},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(translate(std::string("POWER_SUPPLY_TECHNOLOGY=") + c.first + "\n").info.technology, c.second)
            << c.first;
    }
    EXPECT_EQ(translate("POWER_SUPPLY_TYPE=Battery\n").info.technology, 255);
}

TEST(uevent_translation, power_states)
{
    const std::pair<const char *, std::uint32_t> cases[] = {
        {"Charging", 0x5}, {"Discharging", 0x2}, {"Full", 0x1}, {"Not charging", 0x1}, {"Unknown", 0}, {"full", 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(translate(std::string("POWER_SUPPLY_STATUS=") + c.first + "\n").status.power_state, c.second)
            << c.first;
    }
}

TEST(uevent_translation, which_supply_is_the_system_battery)
{
    const std::pair<const char *, bool> cases[] = {
        {"POWER_SUPPLY_TYPE=Battery\n", true},
        {"POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=System\n", true},
        {"POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_SCOPE=Device\n", false},
        {"POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_PRESENT=1\n", true},
        {"POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_PRESENT=0\n", false},
        {"POWER_SUPPLY_TYPE=Mains\n", false},
        {"POWER_SUPPLY_TYPE=UPS\n", false},
        {"POWER_SUPPLY_TYPE=Batteryx\n", false},
        {"TYPE=Battery\n", false},
        {"", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(translate(c.first).battery, c.second) << c.first;
    }
}

// Garbage in one value makes that value not known, and nothing else.
struct garbage_case {
    const char *line;
    std::uint8_t percent;
    std::uint32_t design;
    std::uint32_t voltage;
    std::int32_t rate;
    std::uint32_t cycles;
};

TEST(uevent_translation, garbage_values_are_not_known)
{
    const std::uint32_t u = 0xFFFFFFFFu;
    const std::int32_t unknown_rate = INT32_MIN;
    // The base text says discharging at 12 V and 6 W, 40 %, 50 Wh, 10 cycles.
    const garbage_case cases[] = {
        {"", 40, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=abc", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=-5", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=101", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=40 ", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=+40", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_CAPACITY=99999999999999999999999", 255, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_ENERGY_FULL_DESIGN=-1", 40, u, 12000, -6000, 10},
        {"POWER_SUPPLY_ENERGY_FULL_DESIGN=4294967296", 40, u, 12000, -6000, 10},
        {"POWER_SUPPLY_ENERGY_FULL_DESIGN=4294967295", 40, 4294967, 12000, -6000, 10},
        {"POWER_SUPPLY_ENERGY_FULL_DESIGN=5e7", 40, u, 12000, -6000, 10},
        {"POWER_SUPPLY_VOLTAGE_NOW=-12000000", 40, 50000, u, -6000, 10},
        {"POWER_SUPPLY_VOLTAGE_NOW=12000000000", 40, 50000, u, -6000, 10},
        {"POWER_SUPPLY_POWER_NOW=-6000000", 40, 50000, 12000, -6000, 10},
        {"POWER_SUPPLY_POWER_NOW=junk", 40, 50000, 12000, unknown_rate, 10},
        {"POWER_SUPPLY_POWER_NOW=2147483648", 40, 50000, 12000, unknown_rate, 10},
        {"POWER_SUPPLY_CYCLE_COUNT=0", 40, 50000, 12000, -6000, 0},
        {"POWER_SUPPLY_CYCLE_COUNT=-3", 40, 50000, 12000, -6000, 0},
        {"POWER_SUPPLY_CYCLE_COUNT=2147483648", 40, 50000, 12000, -6000, 0},
        {"POWER_SUPPLY_CYCLE_COUNT", 40, 50000, 12000, -6000, 10},
    };
    for (const garbage_case &c : cases) {
        // The garbage line comes first: the first value of a key counts.
        std::string uevent = std::string(c.line) + "\n" +
                             "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_STATUS=Discharging\n"
                             "POWER_SUPPLY_CAPACITY=40\nPOWER_SUPPLY_ENERGY_FULL_DESIGN=50000000\n"
                             "POWER_SUPPLY_VOLTAGE_NOW=12000000\nPOWER_SUPPLY_POWER_NOW=6000000\n"
                             "POWER_SUPPLY_CYCLE_COUNT=10\n";
        translation t = translate(uevent);
        SCOPED_TRACE(c.line);
        EXPECT_EQ(t.power.battery_life_percent, c.percent);
        EXPECT_EQ(t.info.designed_capacity, c.design);
        EXPECT_EQ(t.status.voltage, c.voltage);
        EXPECT_EQ(t.status.rate, c.rate);
        EXPECT_EQ(t.info.cycle_count, c.cycles);
    }
}

TEST(uevent_translation, rate_from_current_and_voltage_when_power_is_missing)
{
    const std::pair<const char *, std::int32_t> cases[] = {
        {"POWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_CURRENT_NOW=-750000\nPOWER_SUPPLY_VOLTAGE_NOW=11800000\n", -8850},
        {"POWER_SUPPLY_STATUS=Charging\nPOWER_SUPPLY_CURRENT_NOW=750000\nPOWER_SUPPLY_VOLTAGE_NOW=11800000\n", 8850},
        {"POWER_SUPPLY_STATUS=Charging\nPOWER_SUPPLY_CURRENT_NOW=750000\n", INT32_MIN},
        {"POWER_SUPPLY_STATUS=Charging\nPOWER_SUPPLY_VOLTAGE_NOW=11800000\n", INT32_MIN},
        {"POWER_SUPPLY_STATUS=Full\nPOWER_SUPPLY_CURRENT_NOW=750000\nPOWER_SUPPLY_VOLTAGE_NOW=11800000\n", 0},
        {"POWER_SUPPLY_STATUS=Discharging\nPOWER_SUPPLY_CURRENT_NOW=2147483647\nPOWER_SUPPLY_VOLTAGE_NOW=4294967295\n",
         INT32_MIN},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(translate(c.first).status.rate, c.second) << c.first;
    }
}

TEST(uevent_translation, charge_capacity_needs_the_design_voltage)
{
    translation t = translate("POWER_SUPPLY_CHARGE_FULL_DESIGN=4400000\nPOWER_SUPPLY_CHARGE_FULL=3800000\n");
    EXPECT_EQ(t.info.designed_capacity, 0xFFFFFFFFu);
    EXPECT_EQ(t.info.full_charged_capacity, 0xFFFFFFFFu);
    t = translate("POWER_SUPPLY_CHARGE_FULL_DESIGN=4294967295\nPOWER_SUPPLY_VOLTAGE_MIN_DESIGN=4294967295\n");
    EXPECT_EQ(t.info.designed_capacity, 0xFFFFFFFFu);
}

TEST(uevent_translation, odd_bytes_and_lines)
{
    // A NUL inside a value, a line without '=', no final line break, CR line ends.
    static const char text[] = "POWER_SUPPLY_TYPE=Battery\nPOWER_SUPPLY_CAPACITY=4\0" "0\nNONSENSE\n\n=\n"
                               "POWER_SUPPLY_VOLTAGE_NOW=12000000\r\nPOWER_SUPPLY_CYCLE_COUNT=5";
    std::string uevent(text, sizeof text - 1);
    translation t = translate(uevent);
    EXPECT_TRUE(t.battery);
    EXPECT_EQ(t.power.battery_life_percent, 255);
    EXPECT_EQ(t.status.voltage, 0xFFFFFFFFu);
    EXPECT_EQ(t.info.cycle_count, 5u);
}

}  // namespace
