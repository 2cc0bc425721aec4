// The platform operations over the kernel's power_supply class. Each supply
// is a folder whose uevent file lists every POWER_SUPPLY_* property, so one
// read per supply tells everything. This file only lists the folder and reads
// the files; what a text means is uevent.cpp's. Errors are errno values.
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

constexpr std::size_t uevent_capacity = supply_text_capacity;
constexpr std::size_t name_capacity = supply_name_capacity;

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

// The battery that the latest search found, with its uevent. The power
// status hands it to the open that follows in the same status call, so that
// nothing is listed or read twice.
struct found_battery {
    bool valid;    // not yet taken by an open
    char name[name_capacity];
    parsed_uevent uevent;
};
found_battery g_found;

// The device handle is the battery found, taken by the open: its uevent has
// been read, and it answers every query until the handle is closed.
constexpr platform_handle linux_battery_handle = 1;
bool g_device_open;

std::uint32_t g_last_code;

// --- Reading the folder --------------------------------------------------------

// One read: sysfs and regular files hand over everything up to the count at
// once. A file that fills the buffer may have been cut inside its last line,
// which is then dropped rather than taken as a shorter value.
bool read_uevent(int root_fd, const char *name, char (&bytes)[uevent_capacity], std::size_t *length)
{
    char path[name_capacity + sizeof "/uevent"];
    std::snprintf(path, sizeof path, "%s/uevent", name);
    int fd = openat(root_fd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    ssize_t n = read(fd, bytes, sizeof bytes);
    close(fd);
    if (n < 0) {
        return false;
    }
    *length = static_cast<std::size_t>(n);
    if (*length == sizeof bytes) {
        const void *last_newline = memrchr(bytes, '\n', *length);
        *length = last_newline ? static_cast<std::size_t>(static_cast<const char *>(last_newline) - bytes + 1) : 0;
    }
    return true;
}

// The folder entries worth reading: not "." or "..", and a name that fits.
bool is_supply_name(const char *name)
{
    return name[0] != '.' && std::strlen(name) < name_capacity;
}

// One listing of the folder under way, for the power picture.
struct supply_listing {
    int folder_fd;   // -1: nothing (more) to list
    ssize_t filled;
    ssize_t at;
    alignas(dirent64) char entries[8192];
};
supply_listing g_listing = {-1, 0, 0, {}};

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
            if (!is_supply_name(name)) {
                continue;
            }
            if (found->valid && std::strcmp(name, found->name) >= 0) {
                continue;
            }
            if (!read_uevent(root_fd, name, candidate.text.bytes, &candidate.text.length)) {
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

}  // namespace

void linux_platform_set_root(const char *path)
{
    std::snprintf(g_root, sizeof g_root, "%s", path);
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
    if (!g_found.valid) {
        int error = find_battery(&g_found);
        if (error != 0) {
            g_last_code = static_cast<std::uint32_t>(error);
            return platform_invalid_handle;
        }
    }
    g_found.valid = false;   // the next call searches afresh
    g_device_open = true;
    return linux_battery_handle;
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
    if (device != linux_battery_handle || !g_device_open || in == nullptr || out == nullptr) {
        return false;
    }
    const uevent_fields &fields = g_found.uevent.fields;
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
        information_from_uevent(fields, &info);
        std::memcpy(out, &info, sizeof info);
        *returned = sizeof info;
        return true;
    }
    case ioctl_battery_query_status: {
        if (in_size < sizeof(battery_wait_status_record) || out_size < sizeof(battery_status_record)) {
            return false;
        }
        battery_status_record status;
        status_from_uevent(fields, &status);
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
    if (device == linux_battery_handle) {
        g_device_open = false;
    }
}

// --- The power_supply class, for the power picture ---------------------------------

bool platform_open_supply_list()
{
    platform_close_supply_list();   // a listing the caller never closed
    g_listing.folder_fd = open(g_root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    g_listing.filled = 0;
    g_listing.at = 0;
    return true;
}

bool platform_next_supply(supply_record *supply)
{
    while (g_listing.folder_fd >= 0) {
        if (g_listing.at >= g_listing.filled) {
            g_listing.filled = getdents64(g_listing.folder_fd, g_listing.entries, sizeof g_listing.entries);
            g_listing.at = 0;
            if (g_listing.filled <= 0) {
                return false;
            }
        }
        const auto *entry = reinterpret_cast<const dirent64 *>(g_listing.entries + g_listing.at);
        g_listing.at += entry->d_reclen;
        if (is_supply_name(entry->d_name) &&
            read_uevent(g_listing.folder_fd, entry->d_name, supply->text, &supply->length)) {
            std::strcpy(supply->name, entry->d_name);
            return true;
        }
    }
    return false;
}

void platform_close_supply_list()
{
    if (g_listing.folder_fd >= 0) {
        close(g_listing.folder_fd);
        g_listing.folder_fd = -1;
    }
}

// --- The battery device class: not on Linux ------------------------------------------

platform_device_list platform_open_battery_list()
{
    return platform_invalid_device_list;
}

interface_answer platform_battery_interface(platform_device_list, std::uint32_t, char16_t *, std::uint32_t)
{
    return interface_none_left;
}

void platform_close_battery_list(platform_device_list) {}

platform_handle platform_open_interface(const char16_t *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)
{
    g_last_code = ENODEV;
    return platform_invalid_handle;
}
