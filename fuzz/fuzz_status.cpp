// The whole status call over the scripted platform, with every platform
// answer and the allocation that fails taken from the fuzz input; then the
// power picture, over the battery device class or the power_supply class as
// the rest of the input says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "allocation_watch.h"
#include "ambrel.h"
#include "answer_check.h"
#include "scripted_platform.h"

namespace {

// Hands out the input's bytes in turn, zeros once they run out.
struct input_reader {
    const std::uint8_t *data;
    std::size_t size;
    std::size_t at;

    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    bool flag() { return (byte() & 1) != 0; }
    std::uint32_t word()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | byte();
        return value;
    }
    void bytes(void *out, std::size_t count)
    {
        auto *o = static_cast<std::uint8_t *>(out);
        for (std::size_t i = 0; i < count; ++i) o[i] = byte();
    }
};

char g_message[300];
char g_status_text[16384];
char g_last_error_text[16384];
char g_supply_names[4][16];
char g_supply_texts[4][601];

void script_power(input_reader &in)
{
    scripted_platform &s = g_script;
    s.ac_line_status = in.byte();
    s.battery_life_time = in.word();
    if (in.flag()) {
        s.has_supply_class = true;
        s.supply_count = in.byte() % 4;
        for (int i = 0; i < s.supply_count; ++i) {
            std::memset(g_supply_names[i], 0, sizeof g_supply_names[i]);
            in.bytes(g_supply_names[i], in.byte() % sizeof g_supply_names[i]);   // any bytes, a NUL ends it
            std::memset(g_supply_texts[i], 0, sizeof g_supply_texts[i]);
            in.bytes(g_supply_texts[i], in.word() % (sizeof g_supply_texts[i]));
            s.supply_names[i] = g_supply_names[i];
            s.supply_texts[i] = g_supply_texts[i];
        }
        return;
    }
    s.battery_list_fails = in.flag();
    int count = in.byte();
    s.battery_count = count >= 250 ? 18 : count % 4;
    for (int i = 0; i < s.battery_count; ++i) {
        scripted_battery &b = s.batteries[i];
        b.path[0] = u'P';
        b.path[1] = static_cast<char16_t>(u'A' + i);   // each path its own
        for (int u = 2; u < 8; ++u) {
            b.path[u] = static_cast<char16_t>(in.byte() << 8 | in.byte());
            if (b.path[u] == 0) break;
        }
        std::uint8_t listing = in.byte();
        b.listing = listing == 255 ? interface_no_memory : listing >= 250 ? interface_unreadable : interface_listed;
        b.open_error = in.flag() ? in.word() : 0;
        b.tag_succeeds = in.flag();
        b.tag = in.word();
        b.information_succeeds = in.flag();
        b.information_bytes = in.word() % 64;
        in.bytes(&b.information, sizeof b.information);
        b.status_succeeds = in.flag();
        b.status_bytes = in.word() % 32;
        in.bytes(&b.status, sizeof b.status);
        for (std::uint32_t level : {battery_temperature_level, battery_estimated_time_level, battery_device_name_level,
                                    battery_manufacture_name_level, battery_serial_number_level}) {
            scripted_level &l = b.levels[level];
            l.succeeds = in.flag();
            l.bytes = in.word() % 600;   // may claim more than it gave, or than the buffer holds
            in.bytes(l.data, in.byte() % 64);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    input_reader in{data, size, 0};
    g_script = scripted_platform{};
    scripted_platform &s = g_script;
    s.power_succeeds = in.flag();
    s.power_writes = in.flag();
    s.battery_flag = in.byte();
    s.battery_life_percent = in.byte();
    s.open_handle = in.flag() ? platform_invalid_handle : 0x100;
    s.open_error = in.word();
    std::size_t message_length = in.byte();
    std::memset(g_message, 0, sizeof g_message);
    in.bytes(g_message, message_length);   // control bytes, invalid UTF-8, embedded NULs
    s.message = in.flag() ? nullptr : g_message;
    s.tag_succeeds = in.flag();
    s.tag = in.word();
    s.information_succeeds = in.flag();
    s.information_bytes = in.word() % 64;
    in.bytes(&s.information, sizeof s.information);
    s.status_succeeds = in.flag();
    s.status_bytes = in.word() % 32;
    in.bytes(&s.status, sizeof s.status);
    int fail_at = in.byte() % 8;   // 0: no allocation fails

    arm_allocation_watch(fail_at);
    const char *text = ambrel_status();
    allocation_report allocations = disarm_allocation_watch();

    if (allocations.live_blocks != 0) {
        std::abort();   // a block the call obtained was not released
    }
    if (s.open_handles != 0 || s.bad_closes != 0) {
        std::abort();   // a handle left open, or one closed that was not open
    }
    check_answer(text, ambrel_last_error(), s.message_calls > 0);

    std::strcpy(g_status_text, text);
    std::strcpy(g_last_error_text, ambrel_last_error());
    script_power(in);
    arm_allocation_watch(in.byte() % 8);
    const char *power = ambrel_power();
    allocations = disarm_allocation_watch();
    if (allocations.live_blocks != 0 || s.open_handles != 0 || s.bad_closes != 0 || s.open_lists != 0 ||
        s.bad_list_closes != 0) {
        std::abort();   // memory, a handle or a device list not released
    }
    check_power_answer(power);
    if (std::strcmp(text, g_status_text) != 0 || std::strcmp(ambrel_last_error(), g_last_error_text) != 0) {
        std::abort();   // the power call touched the status call's texts
    }
    return 0;
}
