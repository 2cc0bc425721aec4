#include <cstring>

#include "power.h"
#include "readings.h"
#include "uevent.h"

namespace {

// Device paths are far shorter; a longer one is passed over.
constexpr std::uint32_t interface_path_capacity = 512;

// Interfaces asked for at most, listed or passed over: a bound on a device
// list that never says "no more".
constexpr std::uint32_t interface_index_limit = 256;

// Room for a text level: 255 UTF-16 units and a NUL, far beyond the 63
// bytes kept.
constexpr std::size_t text_level_units = 256;

// --- One battery of the battery device class ----------------------------------------

// What one battery's device answered; a query that failed, or answered
// too little, is not known.
struct device_answers {
    bool tag_known;
    bool information_known;
    battery_information_record information;
    bool status_known;
    battery_status_record status;
    bool temperature_known;
    std::uint32_t temperature_dk;            // tenths of a kelvin
    bool estimated_time_known;
    std::uint32_t estimated_time_s;
    char16_t device_name[text_level_units];  // each text: units as returned, not terminated
    std::size_t device_name_units;
    char16_t manufacturer[text_level_units];
    std::size_t manufacturer_units;
    char16_t serial[text_level_units];
    std::size_t serial_units;
};

bool query_word(platform_handle device, std::uint32_t tag, std::uint32_t level, std::uint32_t *value)
{
    std::uint32_t returned;
    return query_battery_information(device, tag, level, value, sizeof *value, &returned) &&
           returned >= sizeof *value;
}

std::size_t query_text(platform_handle device, std::uint32_t tag, std::uint32_t level, char16_t *units)
{
    std::uint32_t returned;
    constexpr std::uint32_t size = text_level_units * sizeof(char16_t);
    if (!query_battery_information(device, tag, level, units, size, &returned)) {
        return 0;
    }
    // A device that claims more than the buffer held is taken at the buffer.
    return (returned < size ? returned : size) / sizeof(char16_t);
}

// The tag first, then every query once with it; each stands alone.
void ask_device(platform_handle device, device_answers *a)
{
    std::uint32_t tag = query_battery_tag(device);
    a->tag_known = tag != 0;
    if (!a->tag_known) {
        return;
    }
    std::uint32_t returned;
    a->information_known = query_battery_information(device, tag, battery_information_level, &a->information,
                                                     sizeof a->information, &returned) &&
                           returned >= sizeof a->information;
    a->status_known = query_battery_status(device, tag, &a->status);
    a->temperature_known = query_word(device, tag, battery_temperature_level, &a->temperature_dk);
    a->estimated_time_known = query_word(device, tag, battery_estimated_time_level, &a->estimated_time_s);
    a->device_name_units = query_text(device, tag, battery_device_name_level, a->device_name);
    a->manufacturer_units = query_text(device, tag, battery_manufacture_name_level, a->manufacturer);
    a->serial_units = query_text(device, tag, battery_serial_number_level, a->serial);
}

battery_state state_of(std::uint32_t power_state, reading percent)
{
    if (power_state & battery_charging) return battery_state::charging;
    if (power_state & battery_discharging) return battery_state::discharging;
    if (power_state & battery_power_on_line) {
        return percent.known && percent.value == 100 ? battery_state::full : battery_state::not_charging;
    }
    return battery_state::unknown;
}

void battery_from_device(const device_answers &a, battery_entry *b)
{
    clear_battery_entry(b);
    if (!a.tag_known) {
        return;
    }
    const battery_information_record &info = a.information;
    const battery_status_record &status = a.status;
    bool relative = a.information_known && counts_relative_units(info);
    if (a.information_known) {
        b->chemistry = technology_name(info.technology);
        if (!relative) {
            b->full_mwh = capacity_reading(info.full_charged_capacity);
            b->design_mwh = capacity_reading(info.designed_capacity);
        }
        std::int32_t cycles = cycles_or_unknown(info.cycle_count);
        if (cycles >= 0) {
            b->cycles = known_reading(cycles);
        }
    }
    if (a.status_known) {
        reading remaining = capacity_reading(status.capacity);
        if (!relative) {
            b->energy_mwh = remaining;
        }
        // A ratio has no unit, so relative batteries have a percentage too.
        if (a.information_known) {
            b->percent = percent_of(remaining, capacity_reading(info.full_charged_capacity));
        }
        b->state = state_of(status.power_state, b->percent);
        std::int32_t voltage = as_signed(status.voltage);
        if (voltage > 0) {
            b->voltage_mv = known_reading(voltage);
        }
        if (is_known_rate(status, relative)) {
            b->rate_mw = known_reading(status.rate);
        }
    }
    if (a.temperature_known && a.temperature_dk != 0) {   // 0: not supported
        std::int64_t celsius_dc = static_cast<std::int64_t>(a.temperature_dk) - 2732;
        if (celsius_dc >= -500 && celsius_dc <= 1500) {
            b->temperature_dc = known_reading(celsius_dc);
        }
    }
    if (b->state == battery_state::discharging) {
        b->time_to_empty_s = a.estimated_time_known && a.estimated_time_s != battery_unknown_time
                                 ? known_reading(a.estimated_time_s)
                                 : estimated_time_to_empty(b->energy_mwh, b->rate_mw);
    }
    if (b->state == battery_state::charging) {
        b->time_to_full_s = estimated_time_to_full(b->energy_mwh, b->full_mwh, b->rate_mw);
    }
    device_text_utf16(a.manufacturer, a.manufacturer_units, b->manufacturer);
    device_text_utf16(a.device_name, a.device_name_units, b->model);
    device_text_utf16(a.serial, a.serial_units, b->serial);
}

void read_battery_interface(const char16_t *path, battery_entry *b)
{
    platform_handle device = platform_open_interface(path, access_generic_read, share_read, creation_open_existing,
                                                     attribute_normal);
    if (device == platform_invalid_handle) {
        clear_battery_entry(b);
        char message[platform_message_size];
        device_error_message(platform_last_error(), message);
        copy_as_utf8(message, std::strlen(message), b->error, sizeof b->error);
        return;
    }
    device_answers answers{};
    ask_device(device, &answers);
    platform_close_device(device);
    battery_from_device(answers, b);
}

std::size_t units_before_nul(const char16_t *text)
{
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

// Windows: the system's power status once, then every present interface of
// the battery device class, opened, asked and closed in turn.
bool gather_from_battery_class(power_readings *p)
{
    power_status_record power{};
    reading system_percent{}, system_time{};
    // A failed call leaves nothing to believe, its "no battery" included.
    if (platform_get_power_status(&power)) {
        if (power.ac_line_status == ac_line_online || power.ac_line_status == ac_line_offline) {
            p->ac_online = known_reading(power.ac_line_status == ac_line_online);
        }
        if (power.battery_flag == battery_flag_no_battery) {
            total_power_readings(p, system_percent, system_time);
            return true;
        }
        if (power.battery_life_percent <= 100) {
            system_percent = known_reading(power.battery_life_percent);
        }
        if (power.battery_life_time != battery_unknown_time) {
            system_time = known_reading(power.battery_life_time);
        }
    }
    bool memory = true;
    platform_device_list list = platform_open_battery_list();
    if (list != platform_invalid_device_list) {
        char16_t path[interface_path_capacity];
        for (std::uint32_t index = 0; index < interface_index_limit && p->battery_count < max_listed_batteries;
             ++index) {
            interface_answer answer = platform_battery_interface(list, index, path, interface_path_capacity);
            if (answer == interface_none_left) {
                break;
            }
            if (answer == interface_no_memory) {
                memory = false;
                break;
            }
            if (answer == interface_unreadable) {
                continue;
            }
            path[interface_path_capacity - 1] = 0;
            battery_entry &b = p->batteries[p->battery_count++];
            read_battery_interface(path, &b);
            copy_utf16_as_utf8(path, units_before_nul(path), b.id, sizeof b.id);
        }
        platform_close_battery_list(list);
    }
    total_power_readings(p, system_percent, system_time);
    return memory;
}

// --- The power_supply class ------------------------------------------------------------

// Linux: one listing, one read of each supply's uevent. Batteries are kept
// in name order, the first max_listed_batteries of them.
void gather_from_supplies(power_readings *p)
{
    supply_record supply;
    char names[max_listed_batteries][supply_name_capacity];
    bool source_listed = false;
    bool online = false;
    while (platform_next_supply(&supply)) {
        uevent_fields fields;
        parse_uevent(supply.text, supply.length, &fields);
        reading source_online;
        if (power_source_from_uevent(fields, &source_online) && source_online.known) {
            source_listed = true;
            online = online || source_online.value != 0;
        }
        if (!is_system_battery(fields)) {
            continue;
        }
        int at = p->battery_count;
        while (at > 0 && std::strcmp(supply.name, names[at - 1]) < 0) {
            --at;
        }
        if (at == max_listed_batteries) {
            continue;   // named after the first sixteen
        }
        int kept = p->battery_count < max_listed_batteries ? p->battery_count : max_listed_batteries - 1;
        std::memmove(&p->batteries[at + 1], &p->batteries[at], static_cast<std::size_t>(kept - at) * sizeof p->batteries[0]);
        std::memmove(names[at + 1], names[at], static_cast<std::size_t>(kept - at) * sizeof names[0]);
        p->battery_count = kept + 1;
        std::memcpy(names[at], supply.name, sizeof names[at]);
        battery_entry &b = p->batteries[at];
        battery_from_uevent(fields, &b);
        copy_as_utf8(supply.name, strnlen(supply.name, sizeof supply.name), b.id, sizeof b.id);
    }
    platform_close_supply_list();
    if (source_listed) {
        p->ac_online = known_reading(online);
    }
    total_power_readings(p, reading{}, reading{});
}

// --- Over all batteries ------------------------------------------------------------------

battery_state total_state(const power_readings &p)
{
    bool charging = false, discharging = false, all_full = true, all_resting = true;
    for (int i = 0; i < p.battery_count; ++i) {
        battery_state s = p.batteries[i].state;
        charging = charging || s == battery_state::charging;
        discharging = discharging || s == battery_state::discharging;
        all_full = all_full && s == battery_state::full;
        all_resting = all_resting && (s == battery_state::full || s == battery_state::not_charging);
    }
    if (charging) return battery_state::charging;
    if (discharging) return battery_state::discharging;
    if (all_full) return battery_state::full;
    if (all_resting) return battery_state::not_charging;
    return battery_state::unknown;
}

// The sum of one member over the batteries, known when every battery gives it.
reading total(const power_readings &p, reading battery_entry::*member)
{
    reading sum = known_reading(0);
    for (int i = 0; i < p.battery_count; ++i) {
        const reading &value = p.batteries[i].*member;
        if (!value.known) {
            return reading{};
        }
        sum.value += value.value;
    }
    return sum;
}

}  // namespace

void clear_battery_entry(battery_entry *b)
{
    b->state = battery_state::unknown;
    b->percent = b->energy_mwh = b->full_mwh = b->design_mwh = b->rate_mw = b->voltage_mv = b->cycles =
        b->temperature_dc = b->time_to_empty_s = b->time_to_full_s = b->charge_limit_pct = reading{};
    b->chemistry = nullptr;
    b->manufacturer[0] = b->model[0] = b->serial[0] = b->error[0] = '\0';
}

std::int64_t divide_half_even(std::int64_t n, std::int64_t d)
{
    std::int64_t quotient = n / d;
    std::int64_t twice_rest = (n % d) * 2;
    if (twice_rest > d || (twice_rest == d && quotient % 2 != 0)) {
        ++quotient;
    }
    return quotient;
}

reading capacity_reading(std::uint32_t mwh)
{
    std::int32_t value = capacity_or_unknown(mwh);
    return value >= 0 ? known_reading(value) : reading{};
}

reading percent_of(reading part, reading whole)
{
    if (!part.known || !whole.known || whole.value <= 0 || part.value < 0) {
        return reading{};
    }
    std::int64_t percent = divide_half_even(part.value * 100, whole.value);
    return known_reading(percent < 100 ? percent : 100);
}

reading estimated_time_to_empty(reading energy_mwh, reading rate_mw)
{
    if (!energy_mwh.known || !rate_mw.known || rate_mw.value >= 0) {
        return reading{};
    }
    return known_reading(divide_half_even(energy_mwh.value * 3600, -rate_mw.value));
}

reading estimated_time_to_full(reading energy_mwh, reading full_mwh, reading rate_mw)
{
    if (!energy_mwh.known || !full_mwh.known || !rate_mw.known || rate_mw.value <= 0 ||
        energy_mwh.value > full_mwh.value) {
        return reading{};
    }
    return known_reading(divide_half_even((full_mwh.value - energy_mwh.value) * 3600, rate_mw.value));
}

void total_power_readings(power_readings *p, reading system_percent, reading system_time_to_empty)
{
    p->state = total_state(*p);
    p->percent = system_percent;
    p->energy_mwh = p->full_mwh = p->rate_mw = p->time_to_empty_s = p->time_to_full_s = reading{};
    if (p->battery_count == 0) {
        return;
    }
    p->energy_mwh = total(*p, &battery_entry::energy_mwh);
    p->full_mwh = total(*p, &battery_entry::full_mwh);
    p->rate_mw = total(*p, &battery_entry::rate_mw);

    // The system's own percentage, what the taskbar shows, comes first.
    reading percentages = total(*p, &battery_entry::percent);
    if (!system_percent.known) {
        p->percent = percent_of(p->energy_mwh, p->full_mwh);
    }
    if (!p->percent.known && percentages.known) {
        p->percent = known_reading(divide_half_even(percentages.value, p->battery_count));
    }

    const battery_entry &only = p->batteries[0];
    if (p->state == battery_state::discharging) {
        if (system_time_to_empty.known) {
            p->time_to_empty_s = system_time_to_empty;
        } else if (p->battery_count == 1) {
            p->time_to_empty_s = only.time_to_empty_s;
        } else {
            p->time_to_empty_s = estimated_time_to_empty(p->energy_mwh, p->rate_mw);
        }
    }
    if (p->state == battery_state::charging) {
        p->time_to_full_s = p->battery_count == 1 ? only.time_to_full_s
                                                  : estimated_time_to_full(p->energy_mwh, p->full_mwh, p->rate_mw);
    }
}

bool gather_power_readings(power_readings *p)
{
    p->ac_online = reading{};
    p->battery_count = 0;
    if (platform_open_supply_list()) {
        gather_from_supplies(p);
        return true;
    }
    return gather_from_battery_class(p);
}
