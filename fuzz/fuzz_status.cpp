// The whole status call over the scripted platform, with every platform
// answer and the allocation that fails taken from the fuzz input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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
    return 0;
}
