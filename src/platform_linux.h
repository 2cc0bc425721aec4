// The Linux platform's own interface, beyond the platform operations: where
// it looks for power supplies, and the pure translation of one supply's
// uevent text into the platform records, which the tests reach directly.
#ifndef AMBREL_PLATFORM_LINUX_H
#define AMBREL_PLATFORM_LINUX_H

#include <cstddef>

#include "platform.h"

// The folder that holds one folder per power supply; the library reads
// /sys/class/power_supply unless a test points it elsewhere.
void linux_platform_set_root(const char *path);

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
    key_status,
    key_capacity,
    key_technology,
    key_energy_full_design,
    key_energy_full,
    key_charge_full_design,
    key_charge_full,
    key_voltage_min_design,
    key_voltage_now,
    key_power_now,
    key_current_now,
    key_cycle_count,
    uevent_key_count
};

struct uevent_fields {
    uevent_value values[uevent_key_count];
};

// Splits a uevent text (KEY=value lines, any bytes) into the values ambrel
// uses. Values point into text.
void parse_uevent(const char *text, std::size_t length, uevent_fields *fields);

// The system battery: type Battery, not a device's own (scope Device), and
// not reported absent.
bool is_system_battery(const uevent_fields &fields);

// The answers Windows would give for this battery.
void power_status_from_uevent(const uevent_fields &fields, power_status_record *power);
void information_from_uevent(const uevent_fields &fields, battery_information_record *info);
void status_from_uevent(const uevent_fields &fields, battery_status_record *status);

#endif
