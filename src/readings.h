// The readings stage: asks the platform for the power status and the battery
// device's answers, and turns them into one record in which every value the
// platform did not give, or gave out of range, holds its not-known value.
#ifndef AMBREL_READINGS_H
#define AMBREL_READINGS_H

#include <cstdint>

#include "platform.h"

// The readings of one status call. Not-known values: flags false, numbers -1,
// rate_mw 0, technology_name empty.
struct battery_readings {
    bool percent_known;
    std::int32_t percent;            // 0..100
    char technology_name[64];        // a name from ambrel_technology_names, or empty
    std::int32_t design_mwh;         // 0..99,999,999
    std::int32_t full_mwh;           // 0..99,999,999
    std::int32_t current_mwh;        // remaining energy, estimated from percent and full_mwh
    std::int32_t cycles;             // the device's count, bit for bit
    std::int32_t voltage_mv;         // the device's value, bit for bit
    std::int32_t rate_mw;            // signed: negative while discharging; 0 when not known
    bool charging_known;
    bool charging;
    bool device_answered;            // the information or the status query counted
};

// Technology names, indexed by BATTERY_INFORMATION's Technology byte.
constexpr int technology_name_count = 9;
extern const char *const ambrel_technology_names[technology_name_count];

// --- Rules both calls share ----------------------------------------------------

// The battery class driver's queries, asked at once (no waiting) with the
// battery's tag. The tag is 0 when its query fails; the status counts only
// when the whole record came back.
std::uint32_t query_battery_tag(platform_handle device);
bool query_battery_information(platform_handle device, std::uint32_t tag, std::uint32_t level, void *out,
                               std::uint32_t size, std::uint32_t *returned);
bool query_battery_status(platform_handle device, std::uint32_t tag, battery_status_record *status);

// Some UPS and virtual batteries count capacity in units of their own, and
// their rate in those units per hour: none of it is mWh or mW.
bool counts_relative_units(const battery_information_record &info);

// BATTERY_UNKNOWN_RATE is a marker, not a rate; relative units are no mW.
bool is_known_rate(const battery_status_record &status, bool relative_units);

// Device values are carried bit for bit: 0x80000000 and above read negative.
std::int32_t as_signed(std::uint32_t value);

// A capacity in mWh as the device gives it: -1 when not known or beyond
// 99,999,999 mWh; 0 is a known 0.
std::int32_t capacity_or_unknown(std::uint32_t capacity);

// The device's cycle count, bit for bit: -1 for 0 and 0xFFFFFFFF, which mean
// none. A negative result is not a count either.
std::int32_t cycles_or_unknown(std::uint32_t count);

// The name for a technology code, or nullptr beyond the table.
const char *technology_name(std::uint32_t code);

// The full-charge capacity as a percentage of the design capacity: false when
// either is not known, or the design capacity is 0 (no ratio).
bool health_percent(std::int32_t design_mwh, std::int32_t full_mwh, double *health);

// The system's message for a device error, in a buffer of
// platform_message_size bytes: "system error N" when the system has none.
void device_error_message(std::uint32_t code, char *message);

// Fills readings. Returns false when the call's answer already stands in
// g_result_buf: no battery, no battery device, or a device error while the
// percentage is not known (the system's message then in g_last_error).
bool gather_battery_readings(battery_readings *readings);

#endif
