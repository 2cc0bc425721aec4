// The real ambrel.dll with its imports from kernel32, setupapi and the C
// runtime replaced, in its import address table, by scripted fakes: checks
// the exact calls the Windows platform makes and the answers it gives for
// every reply the system can make.
#include <windows.h>

#include <setupapi.h>
#include <batclass.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json_member.h"

namespace {

using text_function = const char *(*)();

const std::string typical_report =
    R"({"present":true,"percent":87,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
    R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
    R"("chemistry":"Nickel-Metal-Hydride"})";
const std::string absent = R"({"present": false})";
const std::string present_unknown = R"({"present": true, "percent": null, "charging": null})";
const std::string percent_alone =
    R"({"present":true,"percent":87,"charging":null,"health_pct":null,"design_mwh":null,)"
    R"("full_mwh":null,"current_mwh":null,"cycles":null,"voltage_mv":null,"rate_mw":null})";

const GUID battery_class = {0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};
HANDLE const battery_handle = reinterpret_cast<HANDLE>(0x4242);
HANDLE const interface_handle = reinterpret_cast<HANDLE>(0x4343);

HANDLE battery_interface_handle(std::size_t i)
{
    return reinterpret_cast<HANDLE>(0x7000 + i);
}
HDEVINFO const device_list = reinterpret_cast<HDEVINFO>(0x5151);

// --- The script: what the fakes answer, and what they were asked ---------------

struct create_call {
    std::wstring path;
    DWORD access, share, creation, attributes;
    LPSECURITY_ATTRIBUTES security;
    HANDLE template_file;
};

struct io_call {
    HANDLE device;
    DWORD code;
    std::vector<unsigned char> in;
    DWORD out_size;
    bool has_returned_count;
    LPOVERLAPPED overlapped;
};

// One battery of the device class, for the power picture.
struct fake_level {
    BOOL ok = FALSE;
    DWORD bytes = 0;
    std::vector<unsigned char> data;
};

struct fake_battery {
    std::wstring path;
    DWORD open_error = 0;
    BOOL tag_ok = TRUE;
    ULONG tag = 0;
    BOOL info_ok = TRUE;
    BATTERY_INFORMATION info{};
    BOOL status_ok = TRUE;
    BATTERY_STATUS status{};
    fake_level levels[9];   // by level; 0 is info above
};

struct script {
    // answers
    BOOL power_ok = TRUE;
    bool power_writes = true;
    BYTE flag = 0, percent = 87;
    BYTE ac_line = 255;
    DWORD life_time = BATTERY_UNKNOWN_TIME;
    std::vector<fake_battery> batteries;   // when not empty, the device class lists these
    int fail_calloc_at = 0;                // the Nth calloc fails; 0 for none
    DWORD battery_open_error = 0;          // 0: "\\.\BATTERY" opens
    bool class_list_fails = false;
    bool has_interface = false;
    std::wstring interface_path = L"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
    DWORD interface_open_error = 0;        // 0: the interface opens
    const char *message = "Access is denied.\r\n";
    bool format_fails_after_writing = false;   // writes the message, returns 0 all the same
    BOOL tag_ok = TRUE;
    ULONG tag = 9;
    BOOL info_ok = TRUE;
    DWORD info_bytes = sizeof(BATTERY_INFORMATION);
    BATTERY_INFORMATION info{};
    BOOL status_ok = TRUE;
    DWORD status_bytes = sizeof(BATTERY_STATUS);
    BATTERY_STATUS status{};

    // what was asked
    DWORD last_error = 0;
    int power_calls = 0;
    std::vector<create_call> creates;
    std::vector<HANDLE> opened, closed;
    int format_calls = 0;
    DWORD format_flags = 0, format_code = 0, format_language = 0xFFFF, format_size = 0;
    LPCVOID format_source = nullptr;
    va_list *format_arguments = nullptr;
    bool format_buffer_zeroed = false;
    std::vector<io_call> ios;
    int class_list_calls = 0, lists_made = 0, enum_calls = 0, detail_calls = 0, destroy_calls = 0;
    GUID listed_class{};
    DWORD list_flags = 0;
    int allocations = 0;
    int callocs = 0;
    std::vector<void *> live_blocks;
};

script g;

void typical_laptop()
{
    g = script{};
    g.info.Technology = 1;
    g.info.DesignedCapacity = 50000;
    g.info.FullChargedCapacity = 42000;
    g.info.CycleCount = 123;
    g.status.PowerState = BATTERY_DISCHARGING;
    g.status.Voltage = 12500;
    g.status.Rate = -8500;
}

// --- Fakes ---------------------------------------------------------------------------

BOOL WINAPI fake_GetSystemPowerStatus(LPSYSTEM_POWER_STATUS status)
{
    ++g.power_calls;
    if (g.power_writes) {
        status->ACLineStatus = g.ac_line;
        status->BatteryFlag = g.flag;
        status->BatteryLifePercent = g.percent;
        status->BatteryLifeTime = g.life_time;
    }
    return g.power_ok;
}

DWORD WINAPI fake_GetLastError() { return g.last_error; }
void WINAPI fake_SetLastError(DWORD error) { g.last_error = error; }

HANDLE WINAPI fake_CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD creation, DWORD attributes, HANDLE template_file)
{
    g.creates.push_back({path, access, share, creation, attributes, security, template_file});
    for (std::size_t i = 0; i < g.batteries.size(); ++i) {
        if (g.batteries[i].path != path) continue;
        if (g.batteries[i].open_error != 0) {
            g.last_error = g.batteries[i].open_error;
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = battery_interface_handle(i);
        g.opened.push_back(handle);
        return handle;
    }
    bool battery_path = std::wstring(path) == L"\\\\.\\BATTERY";
    DWORD error = battery_path ? g.battery_open_error : g.interface_open_error;
    if (!battery_path && std::wstring(path) != g.interface_path) {
        error = ERROR_FILE_NOT_FOUND;
    }
    if (error != 0) {
        g.last_error = error;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = battery_path ? battery_handle : interface_handle;
    g.opened.push_back(handle);
    return handle;
}

DWORD WINAPI fake_FormatMessageA(DWORD flags, LPCVOID source, DWORD code, DWORD language, LPSTR buffer, DWORD size,
                                 va_list *arguments)
{
    ++g.format_calls;
    g.format_flags = flags;
    g.format_source = source;
    g.format_code = code;
    g.format_language = language;
    g.format_size = size;
    g.format_arguments = arguments;
    g.format_buffer_zeroed = true;
    for (DWORD i = 0; i < size; ++i) {
        g.format_buffer_zeroed = g.format_buffer_zeroed && buffer[i] == 0;
    }
    if (g.message == nullptr) {
        g.last_error = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    std::strncpy(buffer, g.message, size - 1);
    return g.format_fails_after_writing ? 0 : static_cast<DWORD>(std::strlen(buffer));
}

BOOL battery_io(const fake_battery &b, DWORD code, LPVOID in, LPVOID out, DWORD out_size, LPDWORD returned)
{
    switch (code) {
    case IOCTL_BATTERY_QUERY_TAG:
        if (!b.tag_ok) return FALSE;
        std::memcpy(out, &b.tag, sizeof b.tag);
        *returned = sizeof b.tag;
        return TRUE;
    case IOCTL_BATTERY_QUERY_INFORMATION: {
        BATTERY_QUERY_INFORMATION query;
        std::memcpy(&query, in, sizeof query);
        if (query.BatteryTag != b.tag) return FALSE;
        if (query.InformationLevel == BatteryInformation) {
            if (!b.info_ok) return FALSE;
            std::memcpy(out, &b.info, sizeof b.info);
            *returned = sizeof b.info;
            return TRUE;
        }
        const fake_level &level = b.levels[query.InformationLevel];
        if (!level.ok) return FALSE;
        std::memcpy(out, level.data.data(), std::min<std::size_t>(out_size, level.data.size()));
        *returned = level.bytes;
        return TRUE;
    }
    case IOCTL_BATTERY_QUERY_STATUS:
        if (!b.status_ok) return FALSE;
        std::memcpy(out, &b.status, sizeof b.status);
        *returned = sizeof b.status;
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL WINAPI fake_DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                                 LPDWORD returned, LPOVERLAPPED overlapped)
{
    const auto *in_bytes = static_cast<const unsigned char *>(in);
    g.ios.push_back({device, code, std::vector<unsigned char>(in_bytes, in_bytes + in_size), out_size,
                     returned != nullptr, overlapped});
    *returned = 0;
    for (std::size_t i = 0; i < g.batteries.size(); ++i) {
        if (device == battery_interface_handle(i)) return battery_io(g.batteries[i], code, in, out, out_size, returned);
    }
    switch (code) {
    case IOCTL_BATTERY_QUERY_TAG:
        if (!g.tag_ok) return FALSE;
        std::memcpy(out, &g.tag, sizeof g.tag);
        *returned = sizeof g.tag;
        return TRUE;
    case IOCTL_BATTERY_QUERY_INFORMATION:
        if (!g.info_ok) return FALSE;
        std::memcpy(out, &g.info, sizeof g.info);
        *returned = g.info_bytes;
        return TRUE;
    case IOCTL_BATTERY_QUERY_STATUS:
        if (!g.status_ok) return FALSE;
        std::memcpy(out, &g.status, sizeof g.status);
        *returned = g.status_bytes;
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL WINAPI fake_CloseHandle(HANDLE handle)
{
    g.closed.push_back(handle);
    return TRUE;
}

HDEVINFO WINAPI fake_SetupDiGetClassDevsW(const GUID *class_guid, PCWSTR, HWND, DWORD flags)
{
    ++g.class_list_calls;
    g.listed_class = *class_guid;
    g.list_flags = flags;
    if (g.class_list_fails) {
        g.last_error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    ++g.lists_made;
    return device_list;
}

BOOL WINAPI fake_SetupDiEnumDeviceInterfaces(HDEVINFO list, PSP_DEVINFO_DATA, const GUID *class_guid, DWORD index,
                                             PSP_DEVICE_INTERFACE_DATA data)
{
    ++g.enum_calls;
    if (!g.batteries.empty()) {
        if (list != device_list || !IsEqualGUID(*class_guid, battery_class) ||
            data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || index >= g.batteries.size()) {
            g.last_error = ERROR_NO_MORE_ITEMS;
            return FALSE;
        }
        data->Flags = SPINT_ACTIVE;
        data->Reserved = index + 1;   // which interface the detail call is asked for
        return TRUE;
    }
    if (list != device_list || !IsEqualGUID(*class_guid, battery_class) ||
        data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || index != 0 || !g.has_interface) {
        g.last_error = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    data->Flags = SPINT_ACTIVE;
    return TRUE;
}

BOOL WINAPI fake_SetupDiGetDeviceInterfaceDetailW(HDEVINFO list, PSP_DEVICE_INTERFACE_DATA interface_data,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                                  PDWORD required, PSP_DEVINFO_DATA)
{
    ++g.detail_calls;
    const std::wstring &path = g.batteries.empty() ? g.interface_path : g.batteries[interface_data->Reserved - 1].path;
    DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));
    if (required != nullptr) *required = needed;
    if (list != device_list) return FALSE;
    if (detail == nullptr || size < needed) {
        g.last_error = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        g.last_error = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL WINAPI fake_SetupDiDestroyDeviceInfoList(HDEVINFO list)
{
    ++g.destroy_calls;
    return list == device_list;
}

// The C runtime: real blocks, counted.
void *(*real_malloc)(std::size_t);
void *(*real_calloc)(std::size_t, std::size_t);
void *(*real_realloc)(void *, std::size_t);
void (*real_free)(void *);

void forget(void *block)
{
    for (auto it = g.live_blocks.begin(); it != g.live_blocks.end(); ++it) {
        if (*it == block) {
            g.live_blocks.erase(it);
            return;
        }
    }
}

void *fake_malloc(std::size_t size)
{
    ++g.allocations;
    void *block = real_malloc(size);
    if (block) g.live_blocks.push_back(block);
    return block;
}

void *fake_calloc(std::size_t count, std::size_t size)
{
    ++g.allocations;
    if (++g.callocs == g.fail_calloc_at) return nullptr;
    void *block = real_calloc(count, size);
    if (block) g.live_blocks.push_back(block);
    return block;
}

void *fake_realloc(void *block, std::size_t size)
{
    ++g.allocations;
    void *moved = real_realloc(block, size);
    if (moved) {
        forget(block);
        g.live_blocks.push_back(moved);
    }
    return moved;
}

void fake_free(void *block)
{
    forget(block);
    real_free(block);
}

// --- Loading the DLL and replacing its imports ---------------------------------------

struct replacement {
    const char *name;
    void *fake;
    void **original;
};

HMODULE g_dll;
text_function g_status;
text_function g_last_error;
text_function g_power;
std::vector<std::string> g_replaced;

void replace_imports(HMODULE module, const std::vector<replacement> &replacements)
{
    auto *base = reinterpret_cast<unsigned char *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto *import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(
            base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto *by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            for (const replacement &r : replacements) {
                if (std::strcmp(reinterpret_cast<const char *>(by_name->Name), r.name) != 0) continue;
                DWORD protection;
                VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &protection);
                if (r.original) *r.original = reinterpret_cast<void *>(slots->u1.Function);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(r.fake);
                VirtualProtect(&slots->u1.Function, sizeof(void *), protection, &protection);
                g_replaced.push_back(r.name);
            }
        }
    }
}

template <typename F>
void *as_pointer(F function)
{
    return reinterpret_cast<void *>(function);
}

void load_dll_once()
{
    if (g_dll != nullptr) return;
    g_dll = LoadLibraryW(L"ambrel.dll");
    ASSERT_NE(g_dll, nullptr) << "ambrel.dll not found beside the test";
    g_status = reinterpret_cast<text_function>(reinterpret_cast<void (*)()>(GetProcAddress(g_dll, "ambrel_status")));
    g_last_error =
        reinterpret_cast<text_function>(reinterpret_cast<void (*)()>(GetProcAddress(g_dll, "ambrel_last_error")));
    g_power = reinterpret_cast<text_function>(reinterpret_cast<void (*)()>(GetProcAddress(g_dll, "ambrel_power")));
    ASSERT_NE(g_status, nullptr);
    ASSERT_NE(g_last_error, nullptr);
    ASSERT_NE(g_power, nullptr);
    replace_imports(g_dll, {
        {"GetSystemPowerStatus", as_pointer(fake_GetSystemPowerStatus), nullptr},
        {"CreateFileW", as_pointer(fake_CreateFileW), nullptr},
        {"GetLastError", as_pointer(fake_GetLastError), nullptr},
        {"SetLastError", as_pointer(fake_SetLastError), nullptr},
        {"FormatMessageA", as_pointer(fake_FormatMessageA), nullptr},
        {"DeviceIoControl", as_pointer(fake_DeviceIoControl), nullptr},
        {"CloseHandle", as_pointer(fake_CloseHandle), nullptr},
        {"SetupDiGetClassDevsW", as_pointer(fake_SetupDiGetClassDevsW), nullptr},
        {"SetupDiEnumDeviceInterfaces", as_pointer(fake_SetupDiEnumDeviceInterfaces), nullptr},
        {"SetupDiGetDeviceInterfaceDetailW", as_pointer(fake_SetupDiGetDeviceInterfaceDetailW), nullptr},
        {"SetupDiDestroyDeviceInfoList", as_pointer(fake_SetupDiDestroyDeviceInfoList), nullptr},
        {"malloc", as_pointer(fake_malloc), reinterpret_cast<void **>(&real_malloc)},
        {"calloc", as_pointer(fake_calloc), reinterpret_cast<void **>(&real_calloc)},
        {"realloc", as_pointer(fake_realloc), reinterpret_cast<void **>(&real_realloc)},
        {"free", as_pointer(fake_free), reinterpret_cast<void **>(&real_free)},
    });
}

std::string status()
{
    return g_status();
}

// --- Tests ------------------------------------------------------------------------------

TEST(dll, last_error_is_empty_before_any_call_and_every_import_is_replaced)
{
    load_dll_once();
    EXPECT_STREQ(g_last_error(), "");
    for (const char *name : {"GetSystemPowerStatus", "CreateFileW", "GetLastError", "FormatMessageA",
                             "DeviceIoControl", "CloseHandle", "SetupDiGetClassDevsW", "SetupDiEnumDeviceInterfaces",
                             "SetupDiGetDeviceInterfaceDetailW", "SetupDiDestroyDeviceInfoList", "malloc", "free"}) {
        EXPECT_NE(std::find(g_replaced.begin(), g_replaced.end(), name), g_replaced.end())
            << name << " is not imported by ambrel.dll";
    }
}

class win32_platform : public ::testing::Test {
protected:
    void SetUp() override
    {
        load_dll_once();
        typical_laptop();
    }
    void TearDown() override
    {
        // Every handle opened is closed exactly once, and nothing else is closed.
        std::vector<HANDLE> opened = g.opened, closed = g.closed;
        std::sort(opened.begin(), opened.end());
        std::sort(closed.begin(), closed.end());
        EXPECT_EQ(opened, closed);
        EXPECT_TRUE(g.live_blocks.empty()) << g.live_blocks.size() << " C runtime blocks left allocated";
        EXPECT_EQ(g.lists_made, g.destroy_calls) << "a device list was left open, or one never made destroyed";
    }
};

TEST_F(win32_platform, battery_device_path_with_the_documented_arguments)
{
    EXPECT_EQ(status(), typical_report);
    EXPECT_STREQ(g_last_error(), "");
    EXPECT_EQ(g.power_calls, 1);
    ASSERT_EQ(g.creates.size(), 1u);
    const create_call &open = g.creates[0];
    EXPECT_EQ(open.path, L"\\\\.\\BATTERY");
    EXPECT_EQ(open.access, static_cast<DWORD>(GENERIC_READ));
    EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ));
    EXPECT_EQ(open.security, nullptr);
    EXPECT_EQ(open.creation, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(open.attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(open.template_file, nullptr);
    EXPECT_EQ(g.class_list_calls, 0);

    ASSERT_EQ(g.ios.size(), 3u);
    for (const io_call &call : g.ios) {
        EXPECT_EQ(call.device, battery_handle);
        EXPECT_EQ(call.overlapped, nullptr);
        EXPECT_TRUE(call.has_returned_count);
    }
    EXPECT_EQ(g.ios[0].code, static_cast<DWORD>(IOCTL_BATTERY_QUERY_TAG));
    ASSERT_EQ(g.ios[0].in.size(), 4u);
    ULONG wait;
    std::memcpy(&wait, g.ios[0].in.data(), 4);
    EXPECT_EQ(wait, 0u);
    EXPECT_EQ(g.ios[0].out_size, 4u);

    EXPECT_EQ(g.ios[1].code, static_cast<DWORD>(IOCTL_BATTERY_QUERY_INFORMATION));
    ASSERT_EQ(g.ios[1].in.size(), sizeof(BATTERY_QUERY_INFORMATION));
    BATTERY_QUERY_INFORMATION query;
    std::memcpy(&query, g.ios[1].in.data(), sizeof query);
    EXPECT_EQ(query.BatteryTag, 9u);
    EXPECT_EQ(query.InformationLevel, BatteryInformation);
    EXPECT_EQ(query.AtRate, 0);
    EXPECT_EQ(g.ios[1].out_size, sizeof(BATTERY_INFORMATION));

    EXPECT_EQ(g.ios[2].code, static_cast<DWORD>(IOCTL_BATTERY_QUERY_STATUS));
    ASSERT_EQ(g.ios[2].in.size(), sizeof(BATTERY_WAIT_STATUS));
    BATTERY_WAIT_STATUS wait_status;
    std::memcpy(&wait_status, g.ios[2].in.data(), sizeof wait_status);
    EXPECT_EQ(wait_status.BatteryTag, 9u);
    EXPECT_EQ(wait_status.Timeout, 0u);
    EXPECT_EQ(wait_status.PowerState, 0u);
    EXPECT_EQ(wait_status.LowCapacity, 0u);
    EXPECT_EQ(wait_status.HighCapacity, 0u);
    EXPECT_EQ(g.ios[2].out_size, sizeof(BATTERY_STATUS));
}

TEST_F(win32_platform, pointers_are_stable_across_calls)
{
    const char *first = g_status();
    const char *first_error = g_last_error();
    g.flag = 128;
    const char *second = g_status();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first_error, g_last_error());
    EXPECT_EQ(std::string(first), absent);
    EXPECT_EQ(g.creates.size(), 1u) << "no battery: the device is not opened";
}

// Each row: how the system answers, and what the DLL must then say.
struct reply_case {
    const char *name;
    void (*arrange)();
    std::string answer;
    const char *last_error;
    int creates;          // CreateFileW calls
    int class_lists;      // SetupDiGetClassDevsW calls
    int ios;              // DeviceIoControl calls
};

void PrintTo(const reply_case &c, std::ostream *os) { *os << c.name; }

class system_reply : public win32_platform, public ::testing::WithParamInterface<reply_case> {};

TEST_P(system_reply, gives_the_documented_answer)
{
    const reply_case &c = GetParam();
    c.arrange();
    EXPECT_EQ(status(), c.answer);
    EXPECT_STREQ(g_last_error(), c.last_error);
    EXPECT_EQ(static_cast<int>(g.creates.size()), c.creates);
    EXPECT_EQ(g.class_list_calls, c.class_lists);
    EXPECT_EQ(static_cast<int>(g.ios.size()), c.ios);
    for (const create_call &open : g.creates) {
        EXPECT_EQ(open.access, static_cast<DWORD>(GENERIC_READ));
        EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ));
        EXPECT_EQ(open.creation, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(open.attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(open.security, nullptr);
        EXPECT_EQ(open.template_file, nullptr);
    }
    if (c.class_lists > 0) {
        EXPECT_TRUE(IsEqualGUID(g.listed_class, battery_class));
        EXPECT_EQ(g.list_flags, static_cast<DWORD>(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    }
    if (g.format_calls > 0) {
        EXPECT_EQ(g.format_flags, static_cast<DWORD>(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS));
        EXPECT_EQ(g.format_source, nullptr);
        EXPECT_EQ(g.format_language, 0u);
        EXPECT_EQ(g.format_size, 128u);
        EXPECT_EQ(g.format_arguments, nullptr);
        EXPECT_TRUE(g.format_buffer_zeroed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    win32_platform, system_reply,
    ::testing::Values(
        reply_case{"no_battery_flag", [] { g.flag = 128; }, absent, "", 0, 0, 0},
        reply_case{"battery_path_then_interface",
                   [] {
                       g.battery_open_error = ERROR_FILE_NOT_FOUND;
                       g.has_interface = true;
                   },
                   typical_report, "", 2, 1, 3},
        reply_case{"path_not_found_then_interface",
                   [] {
                       g.battery_open_error = ERROR_PATH_NOT_FOUND;
                       g.has_interface = true;
                   },
                   typical_report, "", 2, 1, 3},
        reply_case{"no_interface_is_no_battery",
                   [] { g.battery_open_error = ERROR_FILE_NOT_FOUND; }, absent, "", 1, 1, 0},
        reply_case{"device_list_fails_is_no_battery",
                   [] {
                       g.battery_open_error = ERROR_FILE_NOT_FOUND;
                       g.class_list_fails = true;
                   },
                   absent, "", 1, 1, 0},
        reply_case{"interface_open_denied_without_percent",
                   [] {
                       g.percent = 255;
                       g.battery_open_error = ERROR_FILE_NOT_FOUND;
                       g.has_interface = true;
                       g.interface_open_error = ERROR_ACCESS_DENIED;
                   },
                   present_unknown, "Access is denied.\r\n", 2, 1, 0},
        reply_case{"interface_open_denied_with_percent",
                   [] {
                       g.battery_open_error = ERROR_FILE_NOT_FOUND;
                       g.has_interface = true;
                       g.interface_open_error = ERROR_ACCESS_DENIED;
                   },
                   percent_alone, "", 2, 1, 0},
        reply_case{"battery_path_denied_is_not_retried",
                   [] {
                       g.percent = 255;
                       g.battery_open_error = ERROR_ACCESS_DENIED;
                   },
                   present_unknown, "Access is denied.\r\n", 1, 0, 0},
        reply_case{"message_call_gives_no_text",
                   [] {
                       g.percent = 255;
                       g.battery_open_error = ERROR_SHARING_VIOLATION;
                       g.message = nullptr;
                   },
                   present_unknown, "system error 32", 1, 0, 0},
        reply_case{"message_call_fails_after_writing",
                   [] {
                       g.percent = 255;
                       g.battery_open_error = ERROR_ACCESS_DENIED;
                       g.format_fails_after_writing = true;
                   },
                   present_unknown, "system error 5", 1, 0, 0},
        reply_case{"power_status_fails",
                   [] {
                       g.power_ok = FALSE;
                       g.power_writes = false;
                   },
                   R"({"present":true,"percent":null,"charging":false,"health_pct":84.0,"design_mwh":50000,)"
                   R"("full_mwh":42000,"current_mwh":null,"cycles":123,"voltage_mv":12500,"rate_mw":-8500,)"
                   R"("chemistry":"Nickel-Metal-Hydride"})",
                   "", 1, 0, 3},
        reply_case{"tag_query_fails", [] { g.tag_ok = FALSE; }, percent_alone, "", 1, 0, 1},
        reply_case{"tag_zero", [] { g.tag = 0; }, percent_alone, "", 1, 0, 1},
        reply_case{"short_information_and_failed_status",
                   [] {
                       g.info_bytes = 35;
                       g.status_ok = FALSE;
                   },
                   percent_alone, "", 1, 0, 3},
        reply_case{"relative_capacity_battery",
                   [] { g.info.Capabilities = BATTERY_CAPACITY_RELATIVE | BATTERY_SYSTEM_BATTERY; },
                   R"({"present":true,"percent":87,"charging":false,"health_pct":null,"design_mwh":null,)"
                   R"("full_mwh":null,"current_mwh":null,"cycles":123,"voltage_mv":12500,"rate_mw":null,)"
                   R"("chemistry":"Nickel-Metal-Hydride"})",
                   "", 1, 0, 3},
        reply_case{"unknown_rate",
                   [] {
                       g.status.Rate = static_cast<LONG>(BATTERY_UNKNOWN_RATE);
                       g.status.PowerState = BATTERY_CHARGING | BATTERY_POWER_ON_LINE;
                   },
                   R"({"present":true,"percent":87,"charging":true,"health_pct":84.0,"design_mwh":50000,)"
                   R"("full_mwh":42000,"current_mwh":36540,"cycles":123,"voltage_mv":12500,"rate_mw":null,)"
                   R"("chemistry":"Nickel-Metal-Hydride"})",
                   "", 1, 0, 3}),
    [](const ::testing::TestParamInfo<reply_case> &p) { return std::string(p.param.name); });

TEST_F(win32_platform, the_interface_is_opened_by_its_device_path)
{
    g.battery_open_error = ERROR_FILE_NOT_FOUND;
    g.has_interface = true;
    EXPECT_EQ(status(), typical_report);
    ASSERT_EQ(g.creates.size(), 2u);
    EXPECT_EQ(g.creates[1].path, g.interface_path);
    for (const io_call &call : g.ios) {
        EXPECT_EQ(call.device, interface_handle);
    }
    EXPECT_EQ(g.destroy_calls, 1);
    EXPECT_GE(g.allocations, 1) << "the interface detail is expected in C runtime memory";
}

// --- The power picture: every interface of the battery device class ----------------------

const wchar_t first_path[] = L"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
const wchar_t second_path[] = L"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";

void level_word(fake_battery &b, ULONG level, ULONG value)
{
    b.levels[level].ok = TRUE;
    b.levels[level].bytes = sizeof value;
    const auto *bytes = reinterpret_cast<const unsigned char *>(&value);
    b.levels[level].data.assign(bytes, bytes + sizeof value);
}

// A UTF-16 text, with its NUL or (terminated false) without one.
void level_text(fake_battery &b, ULONG level, const std::wstring &text, bool terminated = true)
{
    std::size_t bytes = (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t);
    const auto *data = reinterpret_cast<const unsigned char *>(text.c_str());
    b.levels[level].ok = TRUE;
    b.levels[level].bytes = static_cast<DWORD>(bytes);
    b.levels[level].data.assign(data, data + bytes);
}

// Two interfaces: the first a battery discharging, the second denied.
void two_interfaces()
{
    typical_laptop();
    g.ac_line = AC_LINE_OFFLINE;
    g.percent = 94;
    fake_battery first;
    first.path = first_path;
    first.tag = 11;
    first.info.Technology = 3;
    first.info.DesignedCapacity = 24000;
    first.info.FullChargedCapacity = 22000;
    first.info.CycleCount = 120;
    first.status.PowerState = BATTERY_DISCHARGING;
    first.status.Capacity = 18000;
    first.status.Voltage = 12100;
    first.status.Rate = -6000;
    level_word(first, BatteryTemperature, 3012);
    level_word(first, BatteryEstimatedTime, 9900);
    level_text(first, BatteryDeviceName, L"5B10W13930");
    level_text(first, BatteryManufactureName, L"SMP");
    level_text(first, BatterySerialNumber, L"1234");
    fake_battery second;
    second.path = second_path;
    second.open_error = ERROR_ACCESS_DENIED;
    g.batteries = {first, second};
}

const std::string first_battery =
    R"({"id":"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}","state":"discharging","percent":82,)"
    R"("energy_mwh":18000,"full_mwh":22000,"design_mwh":24000,"health_pct":91.66666666666667,"rate_mw":-6000,)"
    R"("voltage_mv":12100,"cycles":120,"temperature_c":28.0,"time_to_empty_s":9900,"time_to_full_s":null,)"
    R"("charge_limit_pct":null,"chemistry":"Lithium-Ion","manufacturer":"SMP","model":"5B10W13930",)"
    R"("serial":"1234","error":null})";

std::string power()
{
    return g_power();
}

TEST_F(win32_platform, power_asks_every_interface_and_reports_the_one_it_cannot_open)
{
    two_interfaces();
    EXPECT_EQ(power(),
              R"({"ac_online":false,"state":"discharging","percent":94,"energy_mwh":null,"full_mwh":null,)"
              R"("rate_mw":null,"time_to_empty_s":null,"time_to_full_s":null,"batteries":[)" +
                  first_battery +
                  R"(,{"id":"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}","state":"unknown",)"
                  R"("percent":null,"energy_mwh":null,"full_mwh":null,"design_mwh":null,"health_pct":null,)"
                  R"("rate_mw":null,"voltage_mv":null,"cycles":null,"temperature_c":null,"time_to_empty_s":null,)"
                  R"("time_to_full_s":null,"charge_limit_pct":null,"chemistry":null,"manufacturer":null,"model":null,)"
                  R"("serial":null,"error":"Access is denied.\r\n"}]})");
    EXPECT_STREQ(g_last_error(), "") << "the status call's message is not touched";
    EXPECT_EQ(g.power_calls, 1);
    EXPECT_EQ(g.class_list_calls, 1);
    EXPECT_TRUE(IsEqualGUID(g.listed_class, battery_class));
    EXPECT_EQ(g.list_flags, static_cast<DWORD>(DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    ASSERT_EQ(g.creates.size(), 2u);
    EXPECT_EQ(g.creates[0].path, first_path);
    EXPECT_EQ(g.creates[1].path, second_path);
    for (const create_call &open : g.creates) {
        EXPECT_EQ(open.access, static_cast<DWORD>(GENERIC_READ));
        EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ));
        EXPECT_EQ(open.security, nullptr);
        EXPECT_EQ(open.creation, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_EQ(open.attributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(open.template_file, nullptr);
    }
    EXPECT_EQ(g.format_calls, 1);
    EXPECT_EQ(g.format_code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(g.format_flags, static_cast<DWORD>(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS));
    EXPECT_EQ(g.format_size, 128u);
    EXPECT_TRUE(g.format_buffer_zeroed);

    // The tag, the information, the status, then five levels, each with the tag.
    const ULONG levels[] = {BatteryTemperature, BatteryEstimatedTime, BatteryDeviceName, BatteryManufactureName,
                            BatterySerialNumber};
    ASSERT_EQ(g.ios.size(), 8u);
    EXPECT_EQ(g.ios[0].code, static_cast<DWORD>(IOCTL_BATTERY_QUERY_TAG));
    EXPECT_EQ(g.ios[2].code, static_cast<DWORD>(IOCTL_BATTERY_QUERY_STATUS));
    for (std::size_t i = 0; i < g.ios.size(); ++i) {
        EXPECT_EQ(g.ios[i].device, battery_interface_handle(0));
        EXPECT_EQ(g.ios[i].overlapped, nullptr);
        if (i == 1 || i >= 3) {
            ASSERT_EQ(g.ios[i].code, static_cast<DWORD>(IOCTL_BATTERY_QUERY_INFORMATION));
            BATTERY_QUERY_INFORMATION query;
            std::memcpy(&query, g.ios[i].in.data(), sizeof query);
            EXPECT_EQ(query.BatteryTag, 11u);
            EXPECT_EQ(query.InformationLevel, i == 1 ? BatteryInformation : static_cast<BATTERY_QUERY_INFORMATION_LEVEL>(levels[i - 3]));
            EXPECT_EQ(query.AtRate, 0);
        }
    }
}

struct level_case {
    const char *name;
    void (*arrange)(fake_battery &);
    std::vector<std::pair<const char *, std::string>> members;   // under /batteries/0
};

void PrintTo(const level_case &c, std::ostream *os) { *os << c.name; }

class power_level : public win32_platform, public ::testing::WithParamInterface<level_case> {};

TEST_P(power_level, failing_alone_changes_only_its_members)
{
    two_interfaces();
    g.batteries.resize(1);
    GetParam().arrange(g.batteries[0]);
    std::string answer = power();
    for (const auto &m : GetParam().members) {
        EXPECT_EQ(json_member(answer, (std::string("/batteries/0/") + m.first).c_str()), m.second) << m.first;
    }
}

INSTANTIATE_TEST_SUITE_P(
    win32_platform, power_level,
    ::testing::Values(
        level_case{"nothing_fails", [](fake_battery &) {},
                   {{"state", R"("discharging")"}, {"temperature_c", "28.0"}, {"model", R"("5B10W13930")"}}},
        level_case{"tag", [](fake_battery &b) { b.tag_ok = FALSE; },
                   {{"state", R"("unknown")"}, {"percent", "null"}, {"model", "null"}, {"error", "null"}}},
        level_case{"information", [](fake_battery &b) { b.info_ok = FALSE; },
                   {{"full_mwh", "null"}, {"chemistry", "null"}, {"cycles", "null"}, {"energy_mwh", "18000"},
                    {"temperature_c", "28.0"}}},
        level_case{"status", [](fake_battery &b) { b.status_ok = FALSE; },
                   {{"state", R"("unknown")"}, {"energy_mwh", "null"}, {"rate_mw", "null"}, {"full_mwh", "22000"},
                    {"serial", R"("1234")"}}},
        level_case{"temperature", [](fake_battery &b) { b.levels[BatteryTemperature].ok = FALSE; },
                   {{"temperature_c", "null"}, {"time_to_empty_s", "9900"}}},
        level_case{"estimated_time", [](fake_battery &b) { b.levels[BatteryEstimatedTime].ok = FALSE; },
                   {{"time_to_empty_s", "10800"}, {"temperature_c", "28.0"}}},
        level_case{"estimated_time_unknown",
                   [](fake_battery &b) { level_word(b, BatteryEstimatedTime, BATTERY_UNKNOWN_TIME); },
                   {{"time_to_empty_s", "10800"}}},
        level_case{"device_name", [](fake_battery &b) { b.levels[BatteryDeviceName].ok = FALSE; },
                   {{"model", "null"}, {"manufacturer", R"("SMP")"}}},
        level_case{"manufacture_name", [](fake_battery &b) { b.levels[BatteryManufactureName].ok = FALSE; },
                   {{"manufacturer", "null"}, {"serial", R"("1234")"}}},
        level_case{"serial_number", [](fake_battery &b) { b.levels[BatterySerialNumber].ok = FALSE; },
                   {{"serial", "null"}, {"model", R"("5B10W13930")"}}},
        level_case{"texts_without_terminator",
                   [](fake_battery &b) {
                       level_text(b, BatteryDeviceName, L" 5B10W13930 ", false);
                       level_text(b, BatteryManufactureName, std::wstring(300, L'S'), false);
                   },
                   {{"model", R"("5B10W13930")"}, {"manufacturer", "\"" + std::string(63, 'S') + "\""}}}),
    [](const ::testing::TestParamInfo<level_case> &p) { return std::string(p.param.name); });

TEST_F(win32_platform, power_without_memory_for_an_interface_path_answers_empty)
{
    two_interfaces();
    g.fail_calloc_at = 1;
    EXPECT_EQ(power(), "{}");
    EXPECT_TRUE(g.creates.empty());
}

TEST_F(win32_platform, power_opens_nothing_without_a_battery)
{
    two_interfaces();
    g.flag = 128;
    g.ac_line = AC_LINE_ONLINE;
    EXPECT_EQ(power(),
              R"({"ac_online":true,"state":null,"percent":null,"energy_mwh":null,"full_mwh":null,"rate_mw":null,)"
              R"("time_to_empty_s":null,"time_to_full_s":null,"batteries":[]})");
    EXPECT_EQ(g.class_list_calls, 0);
    EXPECT_TRUE(g.creates.empty());
}

}  // namespace
