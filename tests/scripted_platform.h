// A platform whose answers each test states, and which records what the
// library asked. It allocates nothing, so allocation counts stay the library's.
#ifndef AMBREL_TESTS_SCRIPTED_PLATFORM_H
#define AMBREL_TESTS_SCRIPTED_PLATFORM_H

#include <cstdint>

#include "platform.h"

struct scripted_io_call {
    platform_handle device;
    std::uint32_t control_code;
    std::uint32_t in_size;
    std::uint32_t out_size;
    unsigned char in[32];   // the first bytes of the input
};

struct scripted_platform {
    // --- Answers ---
    bool power_succeeds;
    bool power_writes;                  // a failing call may leave the record alone
    std::uint8_t battery_flag;
    std::uint8_t battery_life_percent;

    platform_handle open_handle;        // platform_invalid_handle to fail the open
    std::uint32_t open_error;
    const char *message;                // nullptr: the system has no text for the code
    bool message_call_fails;            // writes the message, then returns 0 all the same

    bool tag_succeeds;
    std::uint32_t tag;

    bool information_succeeds;
    std::uint32_t information_bytes;    // what the call reports it returned
    battery_information_record information;

    bool status_succeeds;
    std::uint32_t status_bytes;
    battery_status_record status;

    // --- What the library asked ---
    int power_calls;
    int open_calls;
    char16_t open_path[32];
    std::uint32_t open_access, open_share, open_creation, open_attributes;
    int last_error_calls;
    int message_calls;
    std::uint32_t message_code;
    std::uint32_t message_size;
    int io_count;
    scripted_io_call io[8];
    int close_calls;
    int bad_closes;                     // closes of a handle that was not open
    int open_handles;                   // opened and not yet closed
};

extern scripted_platform g_script;

// The typical laptop: 87 %, discharging, 50000/42000 mWh, 123 cycles,
// 12500 mV, -8500 mW, Nickel-Metal-Hydride.
void script_typical_laptop();

#endif
