// What a power supply's uevent text means. The kernel's power_supply class
// lists every POWER_SUPPLY_* property of a supply in one uevent file, so one
// read tells everything; this module turns that text into values. It is pure:
// the Linux platform reads the files, and both calls interpret them here.
#ifndef AMBREL_UEVENT_H
#define AMBREL_UEVENT_H

#include <cstddef>
#include <cstdint>

#include "platform.h"
#include "power.h"

// A POWER_SUPPLY_* value inside a uevent text; not null-terminated.
struct uevent_value {
    const char *data;
    std::size_t length;
    bool given;
};

enum uevent_key {
    key_type,
    key_scope,
    key_present,
    key_online,
    key_status,
    key_capacity,
    key_technology,
    key_energy_full_design,
    key_energy_full,
    key_energy_now,
    key_charge_full_design,
    key_charge_full,
    key_charge_now,
    key_voltage_min_design,
    key_voltage_now,
    key_power_now,
    key_current_now,
    key_cycle_count,
    key_temp,
    key_time_to_empty_now,
    key_time_to_full_now,
    key_charge_control_end_threshold,
    key_manufacturer,
    key_model_name,
    key_serial_number,
    uevent_key_count
};

struct uevent_fields {
    uevent_value values[uevent_key_count];
};

// Splits a uevent text (KEY=value lines, any bytes) into the values ambrel
// uses. Values point into text; the first of a repeated key counts.
void parse_uevent(const char *text, std::size_t length, uevent_fields *fields);

// The system battery: type Battery, not a device's own (scope Device), and
// not reported absent.
bool is_system_battery(const uevent_fields &fields);

// The answers Windows would give for this battery, which is how the status
// call sees a Linux battery.
void power_status_from_uevent(const uevent_fields &fields, power_status_record *power);
void information_from_uevent(const uevent_fields &fields, battery_information_record *info);
void status_from_uevent(const uevent_fields &fields, battery_status_record *status);

// The power picture's view. A supply that powers the machine from outside
// (type Mains, Wireless or USB..., not a device's own) answers true, with
// *online known when its ONLINE reads 0, 1 or 2 (online fixed or
// programmable).
bool power_source_from_uevent(const uevent_fields &fields, reading *online);

// A system battery's entry, every member but id.
void battery_from_uevent(const uevent_fields &fields, battery_entry *battery);

#endif
