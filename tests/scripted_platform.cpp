#include "scripted_platform.h"

#include <algorithm>
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

bool platform_get_power_status(power_status_record *status)
{
    ++g_script.power_calls;
    if (g_script.power_writes) {
        status->battery_flag = g_script.battery_flag;
        status->battery_life_percent = g_script.battery_life_percent;
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

bool platform_device_io_control(platform_handle device, std::uint32_t control_code, const void *in,
                                std::uint32_t in_size, void *out, std::uint32_t out_size,
                                std::uint32_t *returned)
{
    scripted_platform &s = g_script;
    if (s.io_count < 8) {
        scripted_io_call &call = s.io[s.io_count];
        call.device = device;
        call.control_code = control_code;
        call.in_size = in_size;
        call.out_size = out_size;
        std::memcpy(call.in, in, std::min<std::size_t>(in_size, sizeof call.in));
    }
    ++s.io_count;
    *returned = 0;
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
    if (device != s.open_handle || s.open_handles == 0) {
        ++s.bad_closes;
        return;
    }
    --s.open_handles;
}
