#include "readings.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "answer.h"
#include "platform.h"

const char *const ambrel_technology_names[technology_name_count] = {
    "Lead-Acid",      "Nickel-Metal-Hydride", "Lithium-Polymer", "Lithium-Ion", "Nickel-Cadmium",
    "Nickel-Zinc",    "Sodium-Ion",           "Solid-State",     "Other",
};

namespace {

// Capacities above this are not believed: no battery holds 100 MWh.
constexpr std::uint32_t max_capacity_mwh = 99999999;

void clear_readings(battery_readings *r)
{
    r->percent_known = false;
    r->percent = -1;
    std::memset(r->technology_name, 0, sizeof r->technology_name);
    r->design_mwh = -1;
    r->full_mwh = -1;
    r->current_mwh = -1;
    r->cycles = -1;
    r->voltage_mv = -1;
    r->rate_mw = 0;
    r->charging_known = false;
    r->charging = false;
    r->device_answered = false;
}

// Stores the system's message for a failed open in g_last_error.
void store_device_error(std::uint32_t code)
{
    char message[platform_message_size];
    device_error_message(code, message);
    store_answer(g_last_error, message);
}

// Returns whether the battery counts in relative units rather than mWh.
bool read_information(platform_handle device, std::uint32_t tag, battery_readings *r)
{
    battery_information_record info{};
    std::uint32_t returned = 0;
    if (!query_battery_information(device, tag, battery_information_level, &info, sizeof info, &returned) ||
        returned < sizeof info) {
        return false;
    }
    if (const char *name = technology_name(info.technology)) {
        std::snprintf(r->technology_name, sizeof r->technology_name, "%s", name);
    }
    bool relative = counts_relative_units(info);
    if (!relative) {
        r->design_mwh = capacity_or_unknown(info.designed_capacity);
        r->full_mwh = capacity_or_unknown(info.full_charged_capacity);
    }
    r->cycles = cycles_or_unknown(info.cycle_count);
    r->device_answered = true;
    return relative;
}

void read_status(platform_handle device, std::uint32_t tag, bool relative_units, battery_readings *r)
{
    battery_status_record status{};
    if (!query_battery_status(device, tag, &status)) {
        return;
    }
    if (status.power_state & battery_charging) {
        r->charging_known = true;
        r->charging = true;
    } else {
        r->charging_known = (status.power_state & battery_discharging) != 0;
    }
    r->voltage_mv = as_signed(status.voltage);
    r->rate_mw = is_known_rate(status, relative_units) ? status.rate : 0;
    r->device_answered = true;
}

}  // namespace

// --- Rules both calls share ----------------------------------------------------

std::uint32_t query_battery_tag(platform_handle device)
{
    std::uint32_t wait_ms = 0;   // answer at once; do not wait for a battery to arrive
    std::uint32_t tag = 0;
    std::uint32_t returned = 0;
    if (!platform_device_io_control(device, ioctl_battery_query_tag, &wait_ms, sizeof wait_ms, &tag,
                                    sizeof tag, &returned)) {
        return 0;
    }
    return tag;
}

bool query_battery_information(platform_handle device, std::uint32_t tag, std::uint32_t level, void *out,
                               std::uint32_t size, std::uint32_t *returned)
{
    battery_query_information_record query{};
    query.battery_tag = tag;
    query.information_level = level;
    query.at_rate = 0;
    *returned = 0;
    return platform_device_io_control(device, ioctl_battery_query_information, &query, sizeof query, out, size,
                                      returned);
}

bool query_battery_status(platform_handle device, std::uint32_t tag, battery_status_record *status)
{
    battery_wait_status_record wait{};
    wait.battery_tag = tag;   // timeout 0: answer at once
    std::uint32_t returned = 0;
    return platform_device_io_control(device, ioctl_battery_query_status, &wait, sizeof wait, status,
                                      sizeof *status, &returned) &&
           returned >= sizeof *status;
}

bool counts_relative_units(const battery_information_record &info)
{
    return (info.capabilities & battery_capacity_relative) != 0;
}

bool is_known_rate(const battery_status_record &status, bool relative_units)
{
    return status.rate != battery_unknown_rate && !relative_units;
}

std::int32_t as_signed(std::uint32_t value)
{
    std::int32_t result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

std::int32_t capacity_or_unknown(std::uint32_t capacity)
{
    return capacity <= max_capacity_mwh ? static_cast<std::int32_t>(capacity) : -1;
}

std::int32_t cycles_or_unknown(std::uint32_t count)
{
    return (count == 0 || count == 0xFFFFFFFFu) ? -1 : as_signed(count);
}

const char *technology_name(std::uint32_t code)
{
    return code < technology_name_count ? ambrel_technology_names[code] : nullptr;
}

bool health_percent(std::int32_t design_mwh, std::int32_t full_mwh, double *health)
{
    // A design capacity of 0 gives no ratio; writing an infinite or undefined
    // one would make the writer drop the whole answer.
    if (design_mwh <= 0 || full_mwh < 0) {
        return false;
    }
    *health = full_mwh * 100.0 / design_mwh;
    return true;
}

void device_error_message(std::uint32_t code, char *message)
{
    // A message call that returns 0 has failed, whatever it left in the
    // buffer (a cut text, say). A code without text still gets a message, so
    // that the caller always learns it.
    std::memset(message, 0, platform_message_size);
    std::uint32_t length = platform_format_message(code, message, platform_message_size);
    message[platform_message_size - 1] = '\0';
    if (length == 0 || message[0] == '\0') {
        std::snprintf(message, platform_message_size, "system error %lu", static_cast<unsigned long>(code));
    }
}

// --- The status call's readings --------------------------------------------------

bool gather_battery_readings(battery_readings *readings)
{
    battery_readings &r = *readings;
    clear_readings(&r);

    power_status_record power{};
    // A failed call leaves nothing to believe: no percentage (not a charge of
    // 0 %), and no "no battery" either, so the device is still asked.
    bool power_answered = platform_get_power_status(&power);
    if (power_answered && power.battery_life_percent <= 100) {
        r.percent_known = true;
        r.percent = power.battery_life_percent;
    }
    if (power_answered && power.battery_flag == battery_flag_no_battery) {
        store_answer(g_result_buf, json_absent);
        return false;
    }

    platform_handle device = platform_open_device(battery_device_path, access_generic_read, share_read,
                                                  creation_open_existing, attribute_normal);
    if (device == platform_invalid_handle) {
        std::uint32_t code = platform_last_error();
        if (code == error_file_not_found || code == error_path_not_found) {
            store_answer(g_result_buf, json_absent);
            return false;
        }
        if (!r.percent_known) {
            store_device_error(code);
            store_answer(g_result_buf, json_present_unknown);
            return false;
        }
        return true;
    }

    std::uint32_t tag = query_battery_tag(device);
    if (tag != 0) {
        bool relative_units = read_information(device, tag, &r);
        read_status(device, tag, relative_units, &r);
    }
    platform_close_device(device);

    if (r.percent_known && r.full_mwh > 0) {
        r.current_mwh = static_cast<std::int32_t>(std::lrint(r.percent / 100.0 * r.full_mwh));
    }
    return true;
}
