// The platform operations over kernel32 and the battery class driver. The
// records pass through unchanged: ours are laid out like the SDK's, which is
// checked here at compile time.
#include "platform.h"

#include <windows.h>

#include <setupapi.h>
#include <batclass.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>

// --- Our records against the platform's ------------------------------------------

#define SAME_FIELD(ours, field, theirs, their_field)                                 \
    static_assert(offsetof(ours, field) == offsetof(theirs, their_field) &&           \
                      sizeof(ours::field) == sizeof(theirs::their_field),             \
                  #ours "." #field " matches " #theirs "." #their_field)

static_assert(sizeof(power_status_record) == sizeof(SYSTEM_POWER_STATUS), "SYSTEM_POWER_STATUS size");
SAME_FIELD(power_status_record, battery_flag, SYSTEM_POWER_STATUS, BatteryFlag);
SAME_FIELD(power_status_record, battery_life_percent, SYSTEM_POWER_STATUS, BatteryLifePercent);
SAME_FIELD(power_status_record, ac_line_status, SYSTEM_POWER_STATUS, ACLineStatus);
SAME_FIELD(power_status_record, battery_life_time, SYSTEM_POWER_STATUS, BatteryLifeTime);

static_assert(sizeof(battery_query_information_record) == sizeof(BATTERY_QUERY_INFORMATION), "query size");
SAME_FIELD(battery_query_information_record, battery_tag, BATTERY_QUERY_INFORMATION, BatteryTag);
SAME_FIELD(battery_query_information_record, information_level, BATTERY_QUERY_INFORMATION, InformationLevel);
SAME_FIELD(battery_query_information_record, at_rate, BATTERY_QUERY_INFORMATION, AtRate);

static_assert(sizeof(battery_wait_status_record) == sizeof(BATTERY_WAIT_STATUS), "wait status size");
SAME_FIELD(battery_wait_status_record, battery_tag, BATTERY_WAIT_STATUS, BatteryTag);
SAME_FIELD(battery_wait_status_record, timeout, BATTERY_WAIT_STATUS, Timeout);
SAME_FIELD(battery_wait_status_record, high_capacity, BATTERY_WAIT_STATUS, HighCapacity);

static_assert(sizeof(battery_information_record) == sizeof(BATTERY_INFORMATION), "information size");
SAME_FIELD(battery_information_record, capabilities, BATTERY_INFORMATION, Capabilities);
SAME_FIELD(battery_information_record, technology, BATTERY_INFORMATION, Technology);
SAME_FIELD(battery_information_record, designed_capacity, BATTERY_INFORMATION, DesignedCapacity);
SAME_FIELD(battery_information_record, full_charged_capacity, BATTERY_INFORMATION, FullChargedCapacity);
SAME_FIELD(battery_information_record, cycle_count, BATTERY_INFORMATION, CycleCount);

static_assert(sizeof(battery_status_record) == sizeof(BATTERY_STATUS), "status size");
SAME_FIELD(battery_status_record, power_state, BATTERY_STATUS, PowerState);
SAME_FIELD(battery_status_record, capacity, BATTERY_STATUS, Capacity);
SAME_FIELD(battery_status_record, voltage, BATTERY_STATUS, Voltage);
SAME_FIELD(battery_status_record, rate, BATTERY_STATUS, Rate);

static_assert(ioctl_battery_query_tag == IOCTL_BATTERY_QUERY_TAG, "IOCTL_BATTERY_QUERY_TAG");
static_assert(ioctl_battery_query_information == IOCTL_BATTERY_QUERY_INFORMATION, "IOCTL_BATTERY_QUERY_INFORMATION");
static_assert(ioctl_battery_query_status == IOCTL_BATTERY_QUERY_STATUS, "IOCTL_BATTERY_QUERY_STATUS");
static_assert(access_generic_read == GENERIC_READ && share_read == FILE_SHARE_READ &&
                  creation_open_existing == OPEN_EXISTING && attribute_normal == FILE_ATTRIBUTE_NORMAL,
              "CreateFileW arguments");
static_assert(error_file_not_found == ERROR_FILE_NOT_FOUND && error_path_not_found == ERROR_PATH_NOT_FOUND,
              "error codes");
static_assert(battery_capacity_relative == BATTERY_CAPACITY_RELATIVE && battery_charging == BATTERY_CHARGING &&
                  battery_discharging == BATTERY_DISCHARGING && battery_power_on_line == BATTERY_POWER_ON_LINE,
              "battery flags");
static_assert(battery_information_level == BatteryInformation && battery_temperature_level == BatteryTemperature &&
                  battery_estimated_time_level == BatteryEstimatedTime &&
                  battery_device_name_level == BatteryDeviceName &&
                  battery_manufacture_name_level == BatteryManufactureName &&
                  battery_serial_number_level == BatterySerialNumber,
              "information levels");
static_assert(battery_unknown_time == BATTERY_UNKNOWN_TIME && battery_unknown_capacity == BATTERY_UNKNOWN_CAPACITY &&
                  battery_unknown_voltage == BATTERY_UNKNOWN_VOLTAGE,
              "unknown markers");
static_assert(ac_line_offline == AC_LINE_OFFLINE && ac_line_online == AC_LINE_ONLINE, "AC line states");
static_assert(sizeof(char16_t) == sizeof(WCHAR), "UTF-16 paths");

#undef SAME_FIELD

namespace {

// GUID_DEVCLASS_BATTERY: the interface class every battery device registers.
const GUID battery_interface_class = {0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

// The detail block of the interface at index: from calloc with room for one
// more character, so the path always ends. The caller frees it. A failed
// detail query leaves its error as the thread's last error.
interface_answer interface_detail(HDEVINFO devices, DWORD index, SP_DEVICE_INTERFACE_DETAIL_DATA_W **detail)
{
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof interface_data;
    if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &battery_interface_class, index, &interface_data)) {
        return interface_none_left;
    }
    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(devices, &interface_data, nullptr, 0, &required, nullptr);
    std::size_t size = (required > sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) ? required
                                                                            : sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) +
                       sizeof(WCHAR);
    auto *block = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(std::calloc(1, size));
    if (block == nullptr) {
        return interface_no_memory;
    }
    block->cbSize = sizeof *block;
    if (!SetupDiGetDeviceInterfaceDetailW(devices, &interface_data, block, static_cast<DWORD>(size - sizeof(WCHAR)),
                                          nullptr, nullptr)) {
        DWORD error = GetLastError();
        std::free(block);
        SetLastError(error);
        return interface_unreadable;
    }
    *detail = block;
    return interface_listed;
}

HDEVINFO present_battery_interfaces()
{
    return SetupDiGetClassDevsW(&battery_interface_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

// Opens the first present battery interface with the same arguments. On
// failure the thread's last error is ERROR_FILE_NOT_FOUND when there is no
// interface, otherwise the error that stopped the open.
HANDLE open_first_battery_interface(DWORD access, DWORD share, DWORD creation, DWORD attributes)
{
    HDEVINFO devices = present_battery_interfaces();
    if (devices == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE device = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail = nullptr;
    switch (interface_detail(devices, 0, &detail)) {
    case interface_listed:
        device = CreateFileW(detail->DevicePath, access, share, nullptr, creation, attributes, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            error = GetLastError();
        }
        std::free(detail);
        break;
    case interface_unreadable:
        error = GetLastError();
        break;
    case interface_no_memory:
        error = ERROR_NOT_ENOUGH_MEMORY;
        break;
    case interface_none_left:
        break;
    }
    SetupDiDestroyDeviceInfoList(devices);
    if (device == INVALID_HANDLE_VALUE) {
        SetLastError(error);
    }
    return device;
}

}  // namespace

// --- Platform operations -------------------------------------------------------------

bool platform_get_power_status(power_status_record *status)
{
    SYSTEM_POWER_STATUS native;
    std::memcpy(&native, status, sizeof native);   // a failing call leaves the caller's bytes
    BOOL ok = GetSystemPowerStatus(&native);
    std::memcpy(status, &native, sizeof native);
    return ok != FALSE;
}

platform_handle platform_open_device(const char16_t *path, std::uint32_t access, std::uint32_t share,
                                     std::uint32_t creation, std::uint32_t attributes)
{
    HANDLE device = CreateFileW(reinterpret_cast<LPCWSTR>(path), access, share, nullptr, creation, attributes,
                                nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // "\\.\BATTERY" is not a name Windows documents; batteries are
        // reached through their device interface.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            device = open_first_battery_interface(access, share, creation, attributes);
        } else {
            SetLastError(error);
        }
    }
    return device == INVALID_HANDLE_VALUE ? platform_invalid_handle : reinterpret_cast<platform_handle>(device);
}

std::uint32_t platform_last_error()
{
    return GetLastError();
}

std::uint32_t platform_format_message(std::uint32_t code, char *buffer, std::uint32_t size)
{
    // System messages may hold insertions such as %1; with no arguments to
    // give, they must be left as they stand.
    return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                          size, nullptr);
}

bool platform_device_io_control(platform_handle device, std::uint32_t control_code, const void *in,
                                std::uint32_t in_size, void *out, std::uint32_t out_size,
                                std::uint32_t *returned)
{
    DWORD bytes = 0;
    BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(device), control_code, const_cast<void *>(in), in_size, out,
                              out_size, &bytes, nullptr);
    *returned = bytes;
    return ok != FALSE;
}

void platform_close_device(platform_handle device)
{
    CloseHandle(reinterpret_cast<HANDLE>(device));
}

// --- Every battery of the battery device class -----------------------------------------

platform_device_list platform_open_battery_list()
{
    return reinterpret_cast<platform_device_list>(present_battery_interfaces());
}

interface_answer platform_battery_interface(platform_device_list list, std::uint32_t index, char16_t *path,
                                            std::uint32_t capacity)
{
    SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail = nullptr;
    interface_answer answer = interface_detail(reinterpret_cast<HDEVINFO>(list), index, &detail);
    if (answer != interface_listed) {
        return answer;
    }
    std::size_t units = std::wcslen(detail->DevicePath) + 1;
    if (units > capacity) {
        answer = interface_unreadable;
    } else {
        std::memcpy(path, detail->DevicePath, units * sizeof(WCHAR));
    }
    std::free(detail);
    return answer;
}

void platform_close_battery_list(platform_device_list list)
{
    SetupDiDestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(list));
}

platform_handle platform_open_interface(const char16_t *path, std::uint32_t access, std::uint32_t share,
                                        std::uint32_t creation, std::uint32_t attributes)
{
    HANDLE device = CreateFileW(reinterpret_cast<LPCWSTR>(path), access, share, nullptr, creation, attributes,
                                nullptr);
    return device == INVALID_HANDLE_VALUE ? platform_invalid_handle : reinterpret_cast<platform_handle>(device);
}

// --- The power_supply class: not on Windows ------------------------------------------------

bool platform_open_supply_list()
{
    return false;
}

bool platform_next_supply(supply_record *)
{
    return false;
}

void platform_close_supply_list() {}

// Loading and unloading do nothing of ambrel's own.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
