#include "scripted_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>


scripted_platform g_script;

void script_typical_laptop()
{
    g_script = scripted_platform{};
    scripted_platform &s = g_script;
    s.power_succeeds = true;
    s.power_writes = true;
    s.battery_flag = 0;
    s.battery_life_percent = 87;
    s.open_handle = 0x1234;
    s.message = "Access is denied.\r\n";
    s.tag_succeeds = true;
    s.tag = 7;
    s.information_succeeds = true;
    s.information_bytes = sizeof(battery_information_record);
    s.information.technology = 1;
    s.information.designed_capacity = 50000;
    s.information.full_charged_capacity = 42000;
    s.information.cycle_count = 123;
    s.status_succeeds = true;
    s.status_bytes = sizeof(battery_status_record);
    s.status.power_state = battery_discharging;
    s.status.voltage = 12500;
    s.status.rate = -8500;
}

void script_level_word(scripted_battery &battery, std::uint32_t level, std::uint32_t value)
{
    scripted_level &l = battery.levels[level];
    l.succeeds = true;
    l.bytes = sizeof value;
    std::memcpy(l.data, &value, sizeof value);
}

void script_level_text(scripted_battery &battery, std::uint32_t level, const char16_t *text, bool terminated)
{
    scripted_level &l = battery.levels[level];
    std::size_t units = 0;
    while (text[units] != 0) ++units;
    if (terminated) ++units;
    std::memset(l.data, 0, sizeof l.data);
    std::memcpy(l.data, text, std::min(units * sizeof(char16_t), sizeof l.data));
    l.succeeds = true;
    l.bytes = static_cast<std::uint32_t>(units * sizeof(char16_t));
}

namespace {

bool same_path(const char16_t *a, const char16_t *b)
{
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

void copy_path(char16_t (&to)[80], const char16_t *from)
{
    std::size_t i = 0;
    for (; from[i] != 0 && i + 1 < 80; ++i) to[i] = from[i];
    to[i] = 0;
}

void script_battery(scripted_battery &b, const char16_t *path, std::uint32_t tag)
{
    copy_path(b.path, path);
    b.tag_succeeds = true;
    b.tag = tag;
    b.information_succeeds = true;
    b.information_bytes = sizeof b.information;
    b.status_succeeds = true;
    b.status_bytes = sizeof b.status;
}

}  // namespace

void script_two_battery_laptop()
{
    g_script = scripted_platform{};
    scripted_platform &s = g_script;
    s.power_succeeds = true;
    s.power_writes = true;
    s.ac_line_status = 0;
    s.battery_flag = 0;
    s.battery_life_percent = 94;
    s.battery_life_time = 0xFFFFFFFFu;
    s.message = "Access is denied.\r\n";
    s.battery_count = 2;

    scripted_battery &first = s.batteries[0];
    script_battery(first, u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}", 7);
    first.information.technology = 3;
    first.information.designed_capacity = 24000;
    first.information.full_charged_capacity = 22000;
    first.information.cycle_count = 120;
    first.status.power_state = battery_discharging;
    first.status.capacity = 18000;
    first.status.voltage = 12100;
    first.status.rate = -6000;
    script_level_word(first, battery_temperature_level, 3012);
    script_level_word(first, battery_estimated_time_level, 9900);
    script_level_text(first, battery_device_name_level, u"5B10W13930");
    script_level_text(first, battery_manufacture_name_level, u"SMP");
    script_level_text(first, battery_serial_number_level, u"1234");

    scripted_battery &second = s.batteries[1];
    script_battery(second, u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}", 8);
    second.information.technology = 3;
    second.information.designed_capacity = 48000;
    second.information.full_charged_capacity = 45000;
    second.information.cycle_count = 40;
    second.status.power_state = battery_power_on_line;
    second.status.capacity = 45000;
    second.status.voltage = 12900;
    second.status.rate = 0;
    script_level_word(second, battery_temperature_level, 2982);
    script_level_word(second, battery_estimated_time_level, battery_unknown_time);
    script_level_text(second, battery_device_name_level, u"01AV491");
    script_level_text(second, battery_manufacture_name_level, u"Sunwoda");
    script_level_text(second, battery_serial_number_level, u"5678");
}

bool platform_get_power_status(power_status_record *status)
{
    ++g_script.power_calls;
    if (g_script.power_writes) {
        status->ac_line_status = g_script.ac_line_status;
        status->battery_flag = g_script.battery_flag;
        status->battery_life_percent = g_script.battery_life_percent;
        status->battery_life_time = g_script.battery_life_time;
    }
    return g_script.power_succeeds;
}

platform_handle platform_open_device(const char16_t *path, std::uint32_t access, std::uint32_t share,
                                     std::uint32_t creation, std::uint32_t attributes)
{
    scripted_platform &s = g_script;
    ++s.open_calls;
    std::size_t i = 0;
    for (; path[i] != 0 && i + 1 < sizeof s.open_path / sizeof s.open_path[0]; ++i) {
        s.open_path[i] = path[i];
    }
    s.open_path[i] = 0;
    s.open_access = access;
    s.open_share = share;
    s.open_creation = creation;
    s.open_attributes = attributes;
    if (s.open_handle != platform_invalid_handle) {
        ++s.open_handles;
    }
    return s.open_handle;
}

std::uint32_t platform_last_error()
{
    ++g_script.last_error_calls;
    return g_script.open_error;
}

std::uint32_t platform_format_message(std::uint32_t code, char *buffer, std::uint32_t size)
{
    scripted_platform &s = g_script;
    ++s.message_calls;
    s.message_code = code;
    s.message_size = size;
    if (s.message == nullptr || size == 0) {
        return 0;
    }
    std::size_t length = std::min<std::size_t>(std::strlen(s.message), size - 1);
    std::memcpy(buffer, s.message, length);
    buffer[length] = '\0';
    return s.message_call_fails ? 0 : static_cast<std::uint32_t>(length);
}

namespace {

bool battery_io_control(const scripted_battery &b, std::uint32_t control_code, const void *in, void *out,
                        std::uint32_t out_size, std::uint32_t *returned)
{
    switch (control_code) {
    case ioctl_battery_query_tag:
        if (!b.tag_succeeds) return false;
        std::memcpy(out, &b.tag, std::min<std::size_t>(out_size, sizeof b.tag));
        *returned = sizeof b.tag;
        return true;
    case ioctl_battery_query_information: {
        battery_query_information_record query;
        std::memcpy(&query, in, sizeof query);
        if (query.battery_tag != b.tag) return false;
        if (query.information_level == battery_information_level) {
            if (!b.information_succeeds) return false;
            std::memcpy(out, &b.information, std::min<std::size_t>(out_size, sizeof b.information));
            *returned = b.information_bytes;
            return true;
        }
        if (query.information_level >= 9 || !b.levels[query.information_level].succeeds) return false;
        const scripted_level &level = b.levels[query.information_level];
        std::memcpy(out, level.data, std::min<std::size_t>(out_size, sizeof level.data));
        *returned = level.bytes;
        return true;
    }
    case ioctl_battery_query_status: {
        battery_wait_status_record wait;
        std::memcpy(&wait, in, sizeof wait);
        if (!b.status_succeeds || wait.battery_tag != b.tag) return false;
        std::memcpy(out, &b.status, std::min<std::size_t>(out_size, sizeof b.status));
        *returned = b.status_bytes;
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

bool platform_device_io_control(platform_handle device, std::uint32_t control_code, const void *in,
                                std::uint32_t in_size, void *out, std::uint32_t out_size,
                                std::uint32_t *returned)
{
    scripted_platform &s = g_script;
    if (s.io_count < scripted_io_limit) {
        scripted_io_call &call = s.io[s.io_count];
        call.device = device;
        call.control_code = control_code;
        call.in_size = in_size;
        call.out_size = out_size;
        std::memcpy(call.in, in, std::min<std::size_t>(in_size, sizeof call.in));
    }
    ++s.io_count;
    *returned = 0;
    int battery = static_cast<int>(device - scripted_battery_handle(0));
    if (device != s.open_handle && battery >= 0 && battery < s.battery_count) {
        if (!s.battery_open[battery]) return false;
        return battery_io_control(s.batteries[battery], control_code, in, out, out_size, returned);
    }
    switch (control_code) {
    case ioctl_battery_query_tag:
        if (!s.tag_succeeds) return false;
        std::memcpy(out, &s.tag, std::min<std::size_t>(out_size, sizeof s.tag));
        *returned = sizeof s.tag;
        return true;
    case ioctl_battery_query_information:
        if (!s.information_succeeds) return false;
        std::memcpy(out, &s.information, std::min<std::size_t>(out_size, sizeof s.information));
        *returned = s.information_bytes;
        return true;
    case ioctl_battery_query_status:
        if (!s.status_succeeds) return false;
        std::memcpy(out, &s.status, std::min<std::size_t>(out_size, sizeof s.status));
        *returned = s.status_bytes;
        return true;
    default:
        return false;
    }
}

void platform_close_device(platform_handle device)
{
    scripted_platform &s = g_script;
    ++s.close_calls;
    int battery = static_cast<int>(device - scripted_battery_handle(0));
    if (device != s.open_handle && battery >= 0 && battery < s.battery_count) {
        if (!s.battery_open[battery]) {
            ++s.bad_closes;
            return;
        }
        s.battery_open[battery] = false;
        --s.open_handles;
        return;
    }
    if (device != s.open_handle || s.open_handles == 0) {
        ++s.bad_closes;
        return;
    }
    --s.open_handles;
}

// --- The battery device class ------------------------------------------------------

constexpr platform_device_list scripted_list = 0x5151;

platform_device_list platform_open_battery_list()
{
    scripted_platform &s = g_script;
    ++s.list_calls;
    if (s.battery_list_fails) return platform_invalid_device_list;
    ++s.open_lists;
    return scripted_list;
}

interface_answer platform_battery_interface(platform_device_list list, std::uint32_t index, char16_t *path,
                                            std::uint32_t capacity)
{
    scripted_platform &s = g_script;
    ++s.interface_calls;
    if (list != scripted_list || s.open_lists == 0 || index >= static_cast<std::uint32_t>(s.battery_count)) {
        return interface_none_left;
    }
    const scripted_battery &b = s.batteries[index];
    if (b.listing != interface_listed) return b.listing;
    std::uint32_t i = 0;
    for (; b.path[i] != 0 && i + 1 < capacity; ++i) path[i] = b.path[i];
    path[i] = 0;
    return interface_listed;
}

void platform_close_battery_list(platform_device_list list)
{
    scripted_platform &s = g_script;
    if (list != scripted_list || s.open_lists == 0) {
        ++s.bad_list_closes;
        return;
    }
    --s.open_lists;
}

platform_handle platform_open_interface(const char16_t *path, std::uint32_t access, std::uint32_t share,
                                        std::uint32_t creation, std::uint32_t attributes)
{
    scripted_platform &s = g_script;
    if (s.interface_opens < scripted_battery_limit) copy_path(s.interface_open_paths[s.interface_opens], path);
    ++s.interface_opens;
    s.interface_open_access = access;
    s.interface_open_share = share;
    s.interface_open_creation = creation;
    s.interface_open_attributes = attributes;
    for (int i = 0; i < s.battery_count; ++i) {
        if (!same_path(s.batteries[i].path, path)) continue;
        if (s.batteries[i].open_error != 0) {
            s.open_error = s.batteries[i].open_error;
            return platform_invalid_handle;
        }
        if (s.battery_open[i]) ++s.bad_closes;   // opened twice without a close
        s.battery_open[i] = true;
        ++s.open_handles;
        return scripted_battery_handle(i);
    }
    s.open_error = 2;   // ERROR_FILE_NOT_FOUND
    return platform_invalid_handle;
}

// --- The power_supply class --------------------------------------------------------

bool platform_open_supply_list()
{
    scripted_platform &s = g_script;
    if (!s.has_supply_class) return false;
    ++s.supply_list_opens;
    s.supply_list_open = true;
    s.supply_at = 0;
    return true;
}

bool platform_next_supply(supply_record *supply)
{
    scripted_platform &s = g_script;
    if (!s.supply_list_open || s.supply_at >= s.supply_count) return false;
    int i = s.supply_at++;
    std::size_t name_length = strnlen(s.supply_names[i], sizeof supply->name - 1);
    std::memcpy(supply->name, s.supply_names[i], name_length);
    supply->name[name_length] = '\0';
    supply->length = std::min(std::strlen(s.supply_texts[i]), sizeof supply->text);
    std::memcpy(supply->text, s.supply_texts[i], supply->length);
    return true;
}

void platform_close_supply_list()
{
    g_script.supply_list_open = false;
}
