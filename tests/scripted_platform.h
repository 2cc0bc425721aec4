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

// The answer to one information level beyond BatteryInformation.
struct scripted_level {
    bool succeeds;
    std::uint32_t bytes;          // what the call reports it returned
    unsigned char data[256];      // copied out, as much as the buffer holds
};

// One battery behind an interface of the battery device class.
struct scripted_battery {
    char16_t path[80];
    interface_answer listing;     // interface_listed unless set otherwise
    std::uint32_t open_error;     // 0: the interface opens

    bool tag_succeeds;
    std::uint32_t tag;
    bool information_succeeds;
    std::uint32_t information_bytes;
    battery_information_record information;
    bool status_succeeds;
    std::uint32_t status_bytes;
    battery_status_record status;
    scripted_level levels[9];     // by level number; 0 is the information above
};

constexpr int scripted_battery_limit = 20;
constexpr int scripted_supply_limit = 24;
constexpr int scripted_io_limit = 192;

// The handle of the battery at index i, once opened.
constexpr platform_handle scripted_battery_handle(int i)
{
    return 0x2000 + i;
}

struct scripted_platform {
    // --- Answers ---
    bool power_succeeds;
    bool power_writes;                  // a failing call may leave the record alone
    std::uint8_t battery_flag;
    std::uint8_t battery_life_percent;
    std::uint8_t ac_line_status;
    std::uint32_t battery_life_time;

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

    // Every battery of the battery device class (the power picture).
    bool battery_list_fails;
    int battery_count;
    scripted_battery batteries[scripted_battery_limit];

    // The power_supply class instead, when there is one: names and uevent texts.
    bool has_supply_class;
    int supply_count;
    const char *supply_names[scripted_supply_limit];
    const char *supply_texts[scripted_supply_limit];

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
    scripted_io_call io[scripted_io_limit];
    int close_calls;
    int bad_closes;                     // closes of a handle that was not open
    int open_handles;                   // opened and not yet closed
    int list_calls;
    int open_lists;                     // made and not yet destroyed
    int bad_list_closes;
    int interface_calls;
    int interface_opens;
    char16_t interface_open_paths[scripted_battery_limit][80];
    std::uint32_t interface_open_access, interface_open_share, interface_open_creation, interface_open_attributes;
    bool battery_open[scripted_battery_limit];
    int supply_list_opens;
    bool supply_list_open;
    int supply_at;
};

extern scripted_platform g_script;

// The typical laptop: 87 %, discharging, 50000/42000 mWh, 123 cycles,
// 12500 mV, -8500 mW, Nickel-Metal-Hydride.
void script_typical_laptop();

// A laptop with two batteries behind the battery device class, the first
// discharging and the second idle on line, both answering every level.
void script_two_battery_laptop();

// Sets a level's answer: a 32-bit word, or a UTF-16 text (with its NUL,
// unless terminated is false).
void script_level_word(scripted_battery &battery, std::uint32_t level, std::uint32_t value);
void script_level_text(scripted_battery &battery, std::uint32_t level, const char16_t *text, bool terminated = true);

#endif
