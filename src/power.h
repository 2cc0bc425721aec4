// The readings stage of the power picture: the power source and every
// system battery, each value with whether the platform gave it. The Windows
// platform is asked through the battery device class, Linux through its
// power_supply class; both end in the same record.
#ifndef AMBREL_POWER_H
#define AMBREL_POWER_H

#include <cstddef>
#include <cstdint>

#include "device_text.h"

enum class battery_state : std::uint8_t { unknown, charging, discharging, full, not_charging };

// A value the platform gave, or one it did not give (or gave out of range).
struct reading {
    bool known;
    std::int64_t value;
};

constexpr reading known_reading(std::int64_t value)
{
    return {true, value};
}

// At most this many batteries are listed; the totals are over those listed.
// With it, the text bounds below keep every answer far below the buffer.
constexpr int max_listed_batteries = 16;
constexpr std::size_t battery_id_capacity = 256;      // 255 bytes of UTF-8 and a NUL
constexpr std::size_t battery_error_capacity = 384;   // a 127-byte message, each byte possibly U+FFFD

struct battery_entry {
    char id[battery_id_capacity];     // Linux: the supply's folder; Windows: the interface's device path
    battery_state state;
    reading percent;                  // 0..100
    reading energy_mwh;               // remaining energy
    reading full_mwh;                 // 0..99,999,999
    reading design_mwh;               // 0..99,999,999
    reading rate_mw;                  // signed, negative while discharging; 0 is idle
    reading voltage_mv;               // above 0
    reading cycles;                   // above 0
    reading temperature_dc;           // tenths of a degree Celsius, -500..1500
    reading time_to_empty_s;          // only while discharging
    reading time_to_full_s;           // only while charging
    reading charge_limit_pct;         // 1..100
    const char *chemistry;            // a name from ambrel_technology_names, or nullptr
    char manufacturer[device_text_capacity];   // empty when not known
    char model[device_text_capacity];
    char serial[device_text_capacity];
    char error[battery_error_capacity];        // the system's message when the device could not be opened
};

struct power_readings {
    reading ac_online;                // 1 on mains, 0 not
    battery_state state;              // over all batteries, when there is one
    reading percent;
    reading energy_mwh;
    reading full_mwh;
    reading rate_mw;
    reading time_to_empty_s;
    reading time_to_full_s;
    int battery_count;
    battery_entry batteries[max_listed_batteries];
};

// Asks the platform afresh and fills picture. false when memory ran out on
// the way, and nothing of picture is to be believed.
bool gather_power_readings(power_readings *picture);

// The members over all batteries listed: state, sums, percent and times.
// What the system itself says (Windows' own percentage and time left) comes
// first where it is known.
void total_power_readings(power_readings *picture, reading system_percent, reading system_time_to_empty);

// Every member not known, state unknown, no texts; id untouched.
void clear_battery_entry(battery_entry *battery);

// n / d rounded to the nearest integer, halves to the even one (n >= 0, d > 0).
std::int64_t divide_half_even(std::int64_t n, std::int64_t d);

// A capacity in mWh by the status call's range rule.
reading capacity_reading(std::uint32_t mwh);

// part as a percentage of whole, rounded half to even, at most 100; not
// known unless both are and whole is above 0.
reading percent_of(reading part, reading whole);

// The estimates both platforms fall back on, or not known: time to empty
// while discharging (rate below 0), time to full while charging (rate above
// 0, energy not above full).
reading estimated_time_to_empty(reading energy_mwh, reading rate_mw);
reading estimated_time_to_full(reading energy_mwh, reading full_mwh, reading rate_mw);

#endif
