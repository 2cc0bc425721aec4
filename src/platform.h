// The platform operations the readings stage asks for, and the records that
// pass through them. Each operating system implements these functions in its
// own source file (platform_linux.cpp, ...), picked by the build; the tests
// link a scripted implementation instead.
//
// The operations and records follow the Windows battery interface
// (kernel32, setupapi and the battery class driver) one for one, so the
// readings stage sees exactly what Windows gives. Records are laid out field
// for field like the platform's own; a platform file that includes the real
// headers checks that with static_assert. The status call asks Linux through
// the same operations. The power picture reads Linux as it is: the kernel's
// power_supply class, one uevent text per supply (the last section); each
// platform answers the other's operations as a system without them would.
#ifndef AMBREL_PLATFORM_H
#define AMBREL_PLATFORM_H

#include <cstdint>

// --- Records -----------------------------------------------------------------

// SYSTEM_POWER_STATUS
struct power_status_record {
    std::uint8_t ac_line_status;
    std::uint8_t battery_flag;
    std::uint8_t battery_life_percent;
    std::uint8_t system_status_flag;
    std::uint32_t battery_life_time;
    std::uint32_t battery_full_life_time;
};
static_assert(sizeof(power_status_record) == 12, "SYSTEM_POWER_STATUS is 12 bytes");

// BATTERY_QUERY_INFORMATION
struct battery_query_information_record {
    std::uint32_t battery_tag;
    std::uint32_t information_level;
    std::int32_t at_rate;
};
static_assert(sizeof(battery_query_information_record) == 12, "BATTERY_QUERY_INFORMATION is 12 bytes");

// BATTERY_WAIT_STATUS
struct battery_wait_status_record {
    std::uint32_t battery_tag;
    std::uint32_t timeout;
    std::uint32_t power_state;
    std::uint32_t low_capacity;
    std::uint32_t high_capacity;
};
static_assert(sizeof(battery_wait_status_record) == 20, "BATTERY_WAIT_STATUS is 20 bytes");

// BATTERY_INFORMATION
struct battery_information_record {
    std::uint32_t capabilities;
    std::uint8_t technology;
    std::uint8_t reserved[3];
    std::uint8_t chemistry[4];
    std::uint32_t designed_capacity;
    std::uint32_t full_charged_capacity;
    std::uint32_t default_alert1;
    std::uint32_t default_alert2;
    std::uint32_t critical_bias;
    std::uint32_t cycle_count;
};
static_assert(sizeof(battery_information_record) == 36, "BATTERY_INFORMATION is 36 bytes");

// BATTERY_STATUS
struct battery_status_record {
    std::uint32_t power_state;
    std::uint32_t capacity;
    std::uint32_t voltage;
    std::int32_t rate;
};
static_assert(sizeof(battery_status_record) == 16, "BATTERY_STATUS is 16 bytes");

// --- Constants with the platform's values ------------------------------------

// The battery device's path, as the UTF-16 text CreateFileW takes.
constexpr char16_t battery_device_path[] = u"\\\\.\\BATTERY";

constexpr std::uint32_t access_generic_read = 0x80000000u;   // GENERIC_READ
constexpr std::uint32_t share_read = 0x00000001u;            // FILE_SHARE_READ
constexpr std::uint32_t creation_open_existing = 3;          // OPEN_EXISTING
constexpr std::uint32_t attribute_normal = 0x00000080u;      // FILE_ATTRIBUTE_NORMAL

// CTL_CODE(FILE_DEVICE_BATTERY, 0x10/0x11/0x13, METHOD_BUFFERED, FILE_READ_ACCESS)
constexpr std::uint32_t ioctl_battery_query_tag = 0x00294040u;
constexpr std::uint32_t ioctl_battery_query_information = 0x00294044u;
constexpr std::uint32_t ioctl_battery_query_status = 0x0029404Cu;

constexpr std::uint32_t battery_information_level = 0;       // BatteryInformation

constexpr std::uint32_t error_file_not_found = 2;            // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t error_path_not_found = 3;            // ERROR_PATH_NOT_FOUND

constexpr std::uint8_t battery_flag_no_battery = 128;        // BATTERY_FLAG_NO_BATTERY
constexpr std::uint32_t battery_capacity_relative = 0x40000000u;  // BATTERY_CAPACITY_RELATIVE
constexpr std::uint32_t battery_power_on_line = 0x1;         // BATTERY_POWER_ON_LINE
constexpr std::uint32_t battery_discharging = 0x2;           // BATTERY_DISCHARGING
constexpr std::uint32_t battery_charging = 0x4;              // BATTERY_CHARGING
constexpr std::uint32_t battery_unknown_capacity = 0xFFFFFFFFu;
constexpr std::uint32_t battery_unknown_voltage = 0xFFFFFFFFu;
constexpr std::int32_t battery_unknown_rate = INT32_MIN;     // 0x80000000

// A device handle: the platform's handle value, or platform_invalid_handle.
using platform_handle = std::intptr_t;
constexpr platform_handle platform_invalid_handle = -1;      // INVALID_HANDLE_VALUE

// The size of the buffer the system message is formatted into.
constexpr std::uint32_t platform_message_size = 128;

// --- Operations (one per system call) ----------------------------------------

// GetSystemPowerStatus: fills *status; true on success.
bool platform_get_power_status(power_status_record *status);

// CreateFileW: opens the device at path; platform_invalid_handle on failure.
platform_handle platform_open_device(const char16_t *path, std::uint32_t access, std::uint32_t share,
                                     std::uint32_t creation, std::uint32_t attributes);

// GetLastError, right after a failed open.
std::uint32_t platform_last_error();

// FormatMessageA from the system's table: writes the message for code into
// buffer (at most size bytes, terminated when any text is written) and returns
// its length, 0 when there is none.
std::uint32_t platform_format_message(std::uint32_t code, char *buffer, std::uint32_t size);

// DeviceIoControl without overlap: true on success, *returned the bytes written.
bool platform_device_io_control(platform_handle device, std::uint32_t control_code, const void *in,
                                std::uint32_t in_size, void *out, std::uint32_t out_size,
                                std::uint32_t *returned);

// CloseHandle.
void platform_close_device(platform_handle device);

// --- Every battery of the battery device class ---------------------------------

// IOCTL_BATTERY_QUERY_INFORMATION levels beyond BatteryInformation.
constexpr std::uint32_t battery_temperature_level = 2;       // BatteryTemperature: ULONG, tenths of a kelvin
constexpr std::uint32_t battery_estimated_time_level = 3;    // BatteryEstimatedTime: ULONG seconds
constexpr std::uint32_t battery_device_name_level = 4;       // BatteryDeviceName: UTF-16 text
constexpr std::uint32_t battery_manufacture_name_level = 6;  // BatteryManufactureName: UTF-16 text
constexpr std::uint32_t battery_serial_number_level = 8;     // BatterySerialNumber: UTF-16 text
constexpr std::uint32_t battery_unknown_time = 0xFFFFFFFFu;  // BATTERY_UNKNOWN_TIME

constexpr std::uint8_t ac_line_offline = 0;                  // SYSTEM_POWER_STATUS.ACLineStatus
constexpr std::uint8_t ac_line_online = 1;

// A device information list: the platform's handle value, or
// platform_invalid_device_list.
using platform_device_list = std::intptr_t;
constexpr platform_device_list platform_invalid_device_list = -1;   // INVALID_HANDLE_VALUE

// SetupDiGetClassDevsW: the present interfaces of the battery device class.
platform_device_list platform_open_battery_list();

enum interface_answer {
    interface_listed,       // path holds the interface's device path
    interface_none_left,    // no interface at this index or after it
    interface_unreadable,   // the interface has no path that fits (passed over)
    interface_no_memory,    // the platform could not allocate the path's block
};

// SetupDiEnumDeviceInterfaces and SetupDiGetDeviceInterfaceDetailW: the
// device path of the interface at index, in path (capacity units, always
// terminated when listed).
interface_answer platform_battery_interface(platform_device_list list, std::uint32_t index, char16_t *path,
                                            std::uint32_t capacity);

// SetupDiDestroyDeviceInfoList.
void platform_close_battery_list(platform_device_list list);

// CreateFileW on a battery interface's path, nothing else (the status call's
// open falls back from "\\.\BATTERY" to an interface; this one does not).
platform_handle platform_open_interface(const char16_t *path, std::uint32_t access, std::uint32_t share,
                                        std::uint32_t creation, std::uint32_t attributes);

// --- The kernel's power_supply class -------------------------------------------

constexpr std::size_t supply_name_capacity = 256;    // NAME_MAX and its NUL
constexpr std::size_t supply_text_capacity = 4096;   // sysfs attribute files hold at most one page

// One power supply: its folder name and its uevent text.
struct supply_record {
    char name[supply_name_capacity];   // NUL-terminated
    char text[supply_text_capacity];   // not terminated; a line cut at the end is dropped
    std::size_t length;
};

// Starts listing the power supplies. false on a system without the
// power_supply class, whose batteries are reached through the battery device
// class instead. A folder that cannot be listed lists nothing.
bool platform_open_supply_list();

// The next supply in listing order (no order promised), its uevent read
// once; false when none is left. A supply whose uevent cannot be read is
// passed over.
bool platform_next_supply(supply_record *supply);

void platform_close_supply_list();

#endif
