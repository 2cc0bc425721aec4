// The platform operations over the kernel's power_supply class. Each supply
// is a folder whose uevent file lists every POWER_SUPPLY_* property, so one
// read per supply tells everything; the answers are translated into the
// records Windows would give, and errors are errno values.
#include "platform_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// sysfs attribute files hold at most one page.
constexpr std::size_t uevent_capacity = 4096;
constexpr std::size_t name_capacity = 256;   // NAME_MAX and its NUL

struct uevent_text {
    char bytes[uevent_capacity];
    std::size_t length;
};

// A supply's uevent with its values parsed once; the values point into text.
struct parsed_uevent {
    uevent_text text;
    uevent_fields fields;
};

// Copies a parsed uevent, its values made to point into the copy.
void copy_parsed(const parsed_uevent &from, parsed_uevent *to)
{
    std::memcpy(to->text.bytes, from.text.bytes, from.text.length);
    to->text.length = from.text.length;
    for (int k = 0; k < uevent_key_count; ++k) {
        uevent_value value = from.fields.values[k];
        if (value.given) {
            value.data = to->text.bytes + (value.data - from.text.bytes);
        }
        to->fields.values[k] = value;
    }
}

// Any fixed non-zero value: there is only ever one battery behind a handle.
constexpr std::uint32_t linux_battery_tag = 1;

char g_root[PATH_MAX] = "/sys/class/power_supply";

// The battery that the latest power status found, handed to the open that
// follows in the same status call so that its uevent is read only once.
struct found_battery {
    bool valid;
    char name[name_capacity];
    parsed_uevent uevent;
};
found_battery g_found;

// The open battery: its folder, kept open as the handle, and its uevent.
struct open_battery {
    int folder_fd;
    parsed_uevent uevent;
};
open_battery g_open = {-1, {}};

std::uint32_t g_last_code;

// --- Reading the folder --------------------------------------------------------

// One read: sysfs and regular files hand over everything up to the count at
// once. A file that fills the buffer may have been cut inside its last line,
// which is then dropped rather than taken as a shorter value.
bool read_uevent(int root_fd, const char *name, uevent_text *text)
{
    char path[name_capacity + sizeof "/uevent"];
    std::snprintf(path, sizeof path, "%s/uevent", name);
    int fd = openat(root_fd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    ssize_t n = read(fd, text->bytes, sizeof text->bytes);
    close(fd);
    if (n < 0) {
        return false;
    }
    text->length = static_cast<std::size_t>(n);
    if (text->length == sizeof text->bytes) {
        const void *last_newline = memrchr(text->bytes, '\n', text->length);
        text->length = last_newline ? static_cast<std::size_t>(static_cast<const char *>(last_newline) -
                                                               text->bytes + 1)
                                    : 0;
    }
    return true;
}

// Finds the system battery: of the supplies that qualify, the first in name
// order. Only supplies named before the best one so far are read. Returns 0,
// or the errno of listing the folder (ENOENT when it or a battery is missing).
int find_battery(found_battery *found)
{
    found->valid = false;
    int root_fd = open(g_root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root_fd < 0) {
        return errno == ENOTDIR ? ENOENT : errno;
    }
    parsed_uevent candidate;
    alignas(dirent64) char entries[8192];
    int result = 0;
    for (;;) {
        ssize_t n = getdents64(root_fd, entries, sizeof entries);
        if (n < 0) {
            result = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        for (ssize_t offset = 0; offset < n;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(entries + offset);
            offset += entry->d_reclen;
            const char *name = entry->d_name;
            if (name[0] == '.' || std::strlen(name) >= name_capacity) {
                continue;
            }
            if (found->valid && std::strcmp(name, found->name) >= 0) {
                continue;
            }
            if (!read_uevent(root_fd, name, &candidate.text)) {
                continue;
            }
            parse_uevent(candidate.text.bytes, candidate.text.length, &candidate.fields);
            if (is_system_battery(candidate.fields)) {
                found->valid = true;
                std::strcpy(found->name, name);
                copy_parsed(candidate, &found->uevent);
            }
        }
    }
    close(root_fd);
    if (result == 0 && !found->valid) {
        result = ENOENT;
    }
    return result;
}

// --- Numbers -------------------------------------------------------------------

// A decimal integer and nothing else: an optional '-', then digits. Anything
// else (blanks, a '+', other bytes, more than 18 digits) is not a number.
bool parse_integer(const uevent_value &value, std::int64_t *out)
{
    if (!value.given) {
        return false;
    }
    std::size_t i = 0;
    bool negative = value.length > 0 && value.data[0] == '-';
    if (negative) {
        i = 1;
    }
    if (i == value.length || value.length - i > 18) {
        return false;
    }
    std::int64_t result = 0;
    for (; i < value.length; ++i) {
        char c = value.data[i];
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + (c - '0');
    }
    *out = negative ? -result : result;
    return true;
}

// Values the kernel gives as unsigned 32-bit quantities.
bool read_unsigned(const uevent_fields &fields, uevent_key key, std::uint64_t *out)
{
    std::int64_t value;
    if (!parse_integer(fields.values[key], &value) || value < 0 || value > UINT32_MAX) {
        return false;
    }
    *out = static_cast<std::uint64_t>(value);
    return true;
}

// Rates, which some drivers give negative while discharging: the magnitude.
bool read_magnitude(const uevent_fields &fields, uevent_key key, std::uint64_t *out)
{
    std::int64_t value;
    if (!parse_integer(fields.values[key], &value) || value < -INT32_MAX || value > INT32_MAX) {
        return false;
    }
    *out = static_cast<std::uint64_t>(value < 0 ? -value : value);
    return true;
}

bool equals(const uevent_value &value, const char *text)
{
    std::size_t length = std::strlen(text);
    return value.given && value.length == length && std::memcmp(value.data, text, length) == 0;
}

// mWh from an energy in µWh, or else from a charge in µAh times a voltage in µV.
std::uint32_t capacity_mwh(const uevent_fields &fields, uevent_key energy_key, uevent_key charge_key)
{
    std::uint64_t energy_uwh, charge_uah, voltage_uv;
    if (read_unsigned(fields, energy_key, &energy_uwh)) {
        return static_cast<std::uint32_t>(energy_uwh / 1000);
    }
    if (read_unsigned(fields, charge_key, &charge_uah) &&
        read_unsigned(fields, key_voltage_min_design, &voltage_uv)) {
        std::uint64_t mwh = charge_uah * voltage_uv / 1000000000u;
        return mwh < battery_unknown_capacity ? static_cast<std::uint32_t>(mwh) : battery_unknown_capacity;
    }
    return battery_unknown_capacity;
}

bool known_percent(const uevent_fields &fields, std::uint8_t *percent)
{
    std::int64_t value;
    if (!parse_integer(fields.values[key_capacity], &value) || value < 0 || value > 100) {
        return false;
    }
    *percent = static_cast<std::uint8_t>(value);
    return true;
}

}  // namespace

// --- Translation -----------------------------------------------------------------

void linux_platform_set_root(const char *path)
{
    std::snprintf(g_root, sizeof g_root, "%s", path);
}

void parse_uevent(const char *text, std::size_t length, uevent_fields *fields)
{
    static const char prefix[] = "POWER_SUPPLY_";
    constexpr std::size_t prefix_length = sizeof prefix - 1;
    struct key_name {
        const char *text;
        std::size_t length;
    };
#define KEY(name) {name, sizeof name - 1}
    static const key_name names[uevent_key_count] = {
        KEY("TYPE"),        KEY("SCOPE"),       KEY("PRESENT"),           KEY("STATUS"),
        KEY("CAPACITY"),    KEY("TECHNOLOGY"),  KEY("ENERGY_FULL_DESIGN"), KEY("ENERGY_FULL"),
        KEY("CHARGE_FULL_DESIGN"), KEY("CHARGE_FULL"), KEY("VOLTAGE_MIN_DESIGN"), KEY("VOLTAGE_NOW"),
        KEY("POWER_NOW"),   KEY("CURRENT_NOW"), KEY("CYCLE_COUNT"),
    };
#undef KEY
    *fields = uevent_fields{};
    const char *end = text + length;
    for (const char *line = text; line < end;) {
        const char *line_end = static_cast<const char *>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        if (line_end == nullptr) {
            line_end = end;
        }
        const char *equal = static_cast<const char *>(std::memchr(line, '=', static_cast<std::size_t>(line_end - line)));
        if (equal != nullptr && static_cast<std::size_t>(equal - line) > prefix_length &&
            std::memcmp(line, prefix, prefix_length) == 0) {
            const char *key = line + prefix_length;
            std::size_t key_length = static_cast<std::size_t>(equal - key);
            for (int k = 0; k < uevent_key_count; ++k) {
                uevent_value &value = fields->values[k];
                if (names[k].length == key_length && names[k].text[0] == key[0] &&
                    std::memcmp(names[k].text, key, key_length) == 0) {
                    if (!value.given) {   // the first of a repeated key counts
                        value = {equal + 1, static_cast<std::size_t>(line_end - equal - 1), true};
                    }
                    break;
                }
            }
        }
        if (line_end == end) {
            break;
        }
        line = line_end + 1;
    }
}

bool is_system_battery(const uevent_fields &fields)
{
    const uevent_value &scope = fields.values[key_scope];
    const uevent_value &present = fields.values[key_present];
    return equals(fields.values[key_type], "Battery") && !(scope.given && equals(scope, "Device")) &&
           !(present.given && equals(present, "0"));
}

void power_status_from_uevent(const uevent_fields &fields, power_status_record *power)
{
    *power = power_status_record{};
    power->ac_line_status = 255;                 // not known
    power->battery_life_time = 0xFFFFFFFFu;      // not known
    power->battery_full_life_time = 0xFFFFFFFFu;
    std::uint8_t percent;
    if (!known_percent(fields, &percent)) {
        power->battery_flag = 255;
        power->battery_life_percent = 255;
        return;
    }
    power->battery_life_percent = percent;
    std::uint8_t flag = 0;
    if (percent > 66) flag |= 1;   // high
    if (percent < 33) flag |= 2;   // low
    if (percent < 5) flag |= 4;    // critical
    if (equals(fields.values[key_status], "Charging")) flag |= 8;
    power->battery_flag = flag;
}

void information_from_uevent(const uevent_fields &fields, battery_information_record *info)
{
    static const struct {
        const char *name;
        std::uint8_t code;
    } technologies[] = {
        {"NiMH", 1}, {"Li-poly", 2}, {"Li-ion", 3}, {"LiFe", 3}, {"LiMn", 3}, {"NiCd", 4},
    };
    *info = battery_information_record{};
    info->technology = 255;
    for (const auto &t : technologies) {
        if (equals(fields.values[key_technology], t.name)) {
            info->technology = t.code;
        }
    }
    info->designed_capacity = capacity_mwh(fields, key_energy_full_design, key_charge_full_design);
    info->full_charged_capacity = capacity_mwh(fields, key_energy_full, key_charge_full);
    std::int64_t cycles;
    info->cycle_count = parse_integer(fields.values[key_cycle_count], &cycles) && cycles > 0 && cycles <= INT32_MAX
                            ? static_cast<std::uint32_t>(cycles)
                            : 0;
}

void status_from_uevent(const uevent_fields &fields, battery_status_record *status)
{
    *status = battery_status_record{};
    const uevent_value &state = fields.values[key_status];
    bool charging = equals(state, "Charging");
    bool discharging = equals(state, "Discharging");
    if (charging) {
        status->power_state = battery_charging | battery_power_on_line;
    } else if (discharging) {
        status->power_state = battery_discharging;
    } else if (equals(state, "Full") || equals(state, "Not charging")) {
        status->power_state = battery_power_on_line;
    }
    status->capacity = battery_unknown_capacity;

    std::uint64_t voltage_uv = 0;
    bool voltage_known = read_unsigned(fields, key_voltage_now, &voltage_uv);
    status->voltage = voltage_known ? static_cast<std::uint32_t>(voltage_uv / 1000) : battery_unknown_voltage;

    if (!charging && !discharging) {
        status->rate = 0;
        return;
    }
    std::uint64_t power_uw, current_ua, rate_mw;
    if (read_magnitude(fields, key_power_now, &power_uw)) {
        rate_mw = power_uw / 1000;
    } else if (voltage_known && read_magnitude(fields, key_current_now, &current_ua)) {
        rate_mw = current_ua * voltage_uv / 1000000000u;
    } else {
        status->rate = battery_unknown_rate;
        return;
    }
    if (rate_mw > INT32_MAX) {
        status->rate = battery_unknown_rate;
        return;
    }
    status->rate = discharging ? -static_cast<std::int32_t>(rate_mw) : static_cast<std::int32_t>(rate_mw);
}

// --- Platform operations -----------------------------------------------------------

bool platform_get_power_status(power_status_record *power)
{
    int error = find_battery(&g_found);
    if (error == ENOENT) {
        *power = power_status_record{};
        power->ac_line_status = 255;
        power->battery_flag = battery_flag_no_battery;
        power->battery_life_percent = 255;
        power->battery_life_time = 0xFFFFFFFFu;
        power->battery_full_life_time = 0xFFFFFFFFu;
        return true;
    }
    if (error != 0) {
        return false;
    }
    power_status_from_uevent(g_found.uevent.fields, power);
    return true;
}

platform_handle platform_open_device(const char16_t *, std::uint32_t, std::uint32_t, std::uint32_t,
                                     std::uint32_t)
{
    // The battery found moments ago by the power status, or a fresh search.
    found_battery &found = g_found;
    if (!found.valid) {
        int error = find_battery(&found);
        if (error != 0) {
            g_last_code = static_cast<std::uint32_t>(error);
            return platform_invalid_handle;
        }
    }
    found.valid = false;
    char path[PATH_MAX + name_capacity];
    int written = std::snprintf(path, sizeof path, "%s/%s", g_root, found.name);
    int fd = written > 0 && static_cast<std::size_t>(written) < sizeof path
                 ? open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                 : (errno = ENAMETOOLONG, -1);
    if (fd < 0) {
        g_last_code = static_cast<std::uint32_t>(errno);
        return platform_invalid_handle;
    }
    if (g_open.folder_fd >= 0) {
        close(g_open.folder_fd);   // a handle the caller never closed
    }
    g_open.folder_fd = fd;
    copy_parsed(found.uevent, &g_open.uevent);
    return fd;
}

std::uint32_t platform_last_error()
{
    return g_last_code;
}

std::uint32_t platform_format_message(std::uint32_t code, char *buffer, std::uint32_t size)
{
    if (size == 0) {
        return 0;
    }
    char scratch[256];
    const char *text = strerror_r(static_cast<int>(code), scratch, sizeof scratch);
    std::size_t length = strnlen(text, size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

bool platform_device_io_control(platform_handle device, std::uint32_t control_code, const void *in,
                                std::uint32_t in_size, void *out, std::uint32_t out_size,
                                std::uint32_t *returned)
{
    *returned = 0;
    if (device < 0 || device != g_open.folder_fd || in == nullptr || out == nullptr) {
        return false;
    }
    switch (control_code) {
    case ioctl_battery_query_tag:
        if (in_size < sizeof(std::uint32_t) || out_size < sizeof(std::uint32_t)) {
            return false;
        }
        std::memcpy(out, &linux_battery_tag, sizeof linux_battery_tag);
        *returned = sizeof linux_battery_tag;
        return true;
    case ioctl_battery_query_information: {
        if (in_size < sizeof(battery_query_information_record) || out_size < sizeof(battery_information_record)) {
            return false;
        }
        battery_information_record info;
        information_from_uevent(g_open.uevent.fields, &info);
        std::memcpy(out, &info, sizeof info);
        *returned = sizeof info;
        return true;
    }
    case ioctl_battery_query_status: {
        if (in_size < sizeof(battery_wait_status_record) || out_size < sizeof(battery_status_record)) {
            return false;
        }
        battery_status_record status;
        status_from_uevent(g_open.uevent.fields, &status);
        std::memcpy(out, &status, sizeof status);
        *returned = sizeof status;
        return true;
    }
    default:
        return false;
    }
}

void platform_close_device(platform_handle device)
{
    if (device >= 0 && device == g_open.folder_fd) {
        close(g_open.folder_fd);
        g_open.folder_fd = -1;
    }
}
