#include "uevent.h"

#include <climits>
#include <cstring>

namespace {

// --- Keys ----------------------------------------------------------------------

struct key_name {
    const char *text;
    std::size_t length;
};

#define KEY(name) {name, sizeof name - 1}
// In the order of uevent_key.
constexpr key_name key_names[uevent_key_count] = {
    KEY("TYPE"),
    KEY("SCOPE"),
    KEY("PRESENT"),
    KEY("ONLINE"),
    KEY("STATUS"),
    KEY("CAPACITY"),
    KEY("TECHNOLOGY"),
    KEY("ENERGY_FULL_DESIGN"),
    KEY("ENERGY_FULL"),
    KEY("ENERGY_NOW"),
    KEY("CHARGE_FULL_DESIGN"),
    KEY("CHARGE_FULL"),
    KEY("CHARGE_NOW"),
    KEY("VOLTAGE_MIN_DESIGN"),
    KEY("VOLTAGE_NOW"),
    KEY("POWER_NOW"),
    KEY("CURRENT_NOW"),
    KEY("CYCLE_COUNT"),
    KEY("TEMP"),
    KEY("TIME_TO_EMPTY_NOW"),
    KEY("TIME_TO_FULL_NOW"),
    KEY("CHARGE_CONTROL_END_THRESHOLD"),
    KEY("MANUFACTURER"),
    KEY("MODEL_NAME"),
    KEY("SERIAL_NUMBER"),
};
#undef KEY

// The keys grouped by length, so that a line is compared with the few keys
// of its own length only: a uevent has some 20 lines, each looked up once.
constexpr std::size_t longest_key = 28;
constexpr int keys_per_length = 5;

struct keys_by_length {
    signed char keys[longest_key + 1][keys_per_length];
};

constexpr keys_by_length group_keys()
{
    keys_by_length table{};
    for (auto &row : table.keys) {
        for (auto &key : row) {
            key = -1;
        }
    }
    for (int k = 0; k < uevent_key_count; ++k) {
        auto &row = table.keys[key_names[k].length];
        int i = 0;
        while (row[i] != -1) {
            ++i;
        }
        row[i] = static_cast<signed char>(k);
    }
    return table;
}
constexpr keys_by_length key_table = group_keys();

int find_key(const char *key, std::size_t length)
{
    if (length > longest_key) {
        return -1;
    }
    for (signed char k : key_table.keys[length]) {
        if (k < 0) {
            break;
        }
        if (key_names[k].text[0] == key[0] && std::memcmp(key_names[k].text, key, length) == 0) {
            return k;
        }
    }
    return -1;
}

// --- Numbers -------------------------------------------------------------------

// A decimal integer and nothing else: an optional '-', then digits. Anything
// else (blanks, a '+', other bytes, more than 18 digits) is not a number.
bool parse_integer(const uevent_value &value, std::int64_t *out)
{
    if (!value.given) {
        return false;
    }
    std::size_t i = 0;
    bool negative = value.length > 0 && value.data[0] == '-';
    if (negative) {
        i = 1;
    }
    if (i == value.length || value.length - i > 18) {
        return false;
    }
    std::int64_t result = 0;
    for (; i < value.length; ++i) {
        char c = value.data[i];
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + (c - '0');
    }
    *out = negative ? -result : result;
    return true;
}

// Values the kernel gives as unsigned 32-bit quantities.
bool read_unsigned(const uevent_fields &fields, uevent_key key, std::uint64_t *out)
{
    std::int64_t value;
    if (!parse_integer(fields.values[key], &value) || value < 0 || value > UINT32_MAX) {
        return false;
    }
    *out = static_cast<std::uint64_t>(value);
    return true;
}

// Rates, which some drivers give negative while discharging: the magnitude.
bool read_magnitude(const uevent_fields &fields, uevent_key key, std::uint64_t *out)
{
    std::int64_t value;
    if (!parse_integer(fields.values[key], &value) || value < -INT32_MAX || value > INT32_MAX) {
        return false;
    }
    *out = static_cast<std::uint64_t>(value < 0 ? -value : value);
    return true;
}

bool equals(const uevent_value &value, const char *text)
{
    std::size_t length = std::strlen(text);
    return value.given && value.length == length && std::memcmp(value.data, text, length) == 0;
}

// mWh from an energy in µWh, or else from a charge in µAh times a voltage in µV.
std::uint32_t capacity_mwh(const uevent_fields &fields, uevent_key energy_key, uevent_key charge_key)
{
    std::uint64_t energy_uwh, charge_uah, voltage_uv;
    if (read_unsigned(fields, energy_key, &energy_uwh)) {
        return static_cast<std::uint32_t>(energy_uwh / 1000);
    }
    if (read_unsigned(fields, charge_key, &charge_uah) &&
        read_unsigned(fields, key_voltage_min_design, &voltage_uv)) {
        std::uint64_t mwh = charge_uah * voltage_uv / 1000000000u;
        return mwh < battery_unknown_capacity ? static_cast<std::uint32_t>(mwh) : battery_unknown_capacity;
    }
    return battery_unknown_capacity;
}

bool known_percent(const uevent_fields &fields, std::uint8_t *percent)
{
    std::int64_t value;
    if (!parse_integer(fields.values[key_capacity], &value) || value < 0 || value > 100) {
        return false;
    }
    *percent = static_cast<std::uint8_t>(value);
    return true;
}

}  // namespace

// --- The text ------------------------------------------------------------------

void parse_uevent(const char *text, std::size_t length, uevent_fields *fields)
{
    static const char prefix[] = "POWER_SUPPLY_";
    constexpr std::size_t prefix_length = sizeof prefix - 1;
    *fields = uevent_fields{};
    const char *end = text + length;
    for (const char *line = text; line < end;) {
        const char *line_end = static_cast<const char *>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        if (line_end == nullptr) {
            line_end = end;
        }
        const char *equal = static_cast<const char *>(std::memchr(line, '=', static_cast<std::size_t>(line_end - line)));
        if (equal != nullptr && static_cast<std::size_t>(equal - line) > prefix_length &&
            std::memcmp(line, prefix, prefix_length) == 0) {
            const char *key = line + prefix_length;
            int k = find_key(key, static_cast<std::size_t>(equal - key));
            if (k >= 0 && !fields->values[k].given) {   // the first of a repeated key counts
                fields->values[k] = {equal + 1, static_cast<std::size_t>(line_end - equal - 1), true};
            }
        }
        if (line_end == end) {
            break;
        }
        line = line_end + 1;
    }
}

bool is_system_battery(const uevent_fields &fields)
{
    const uevent_value &scope = fields.values[key_scope];
    const uevent_value &present = fields.values[key_present];
    return equals(fields.values[key_type], "Battery") && !(scope.given && equals(scope, "Device")) &&
           !(present.given && equals(present, "0"));
}

// --- As Windows would answer ---------------------------------------------------------

void power_status_from_uevent(const uevent_fields &fields, power_status_record *power)
{
    *power = power_status_record{};
    power->ac_line_status = 255;                 // not known
    power->battery_life_time = 0xFFFFFFFFu;      // not known
    power->battery_full_life_time = 0xFFFFFFFFu;
    std::uint8_t percent;
    if (!known_percent(fields, &percent)) {
        power->battery_flag = 255;
        power->battery_life_percent = 255;
        return;
    }
    power->battery_life_percent = percent;
    std::uint8_t flag = 0;
    if (percent > 66) flag |= 1;   // high
    if (percent < 33) flag |= 2;   // low
    if (percent < 5) flag |= 4;    // critical
    if (equals(fields.values[key_status], "Charging")) flag |= 8;
    power->battery_flag = flag;
}

void information_from_uevent(const uevent_fields &fields, battery_information_record *info)
{
    static const struct {
        const char *name;
        std::uint8_t code;
    } technologies[] = {
        {"NiMH", 1}, {"Li-poly", 2}, {"Li-ion", 3}, {"LiFe", 3}, {"LiMn", 3}, {"NiCd", 4},
    };
    *info = battery_information_record{};
    info->technology = 255;
    for (const auto &t : technologies) {
        if (equals(fields.values[key_technology], t.name)) {
            info->technology = t.code;
        }
    }
    info->designed_capacity = capacity_mwh(fields, key_energy_full_design, key_charge_full_design);
    info->full_charged_capacity = capacity_mwh(fields, key_energy_full, key_charge_full);
    std::int64_t cycles;
    info->cycle_count = parse_integer(fields.values[key_cycle_count], &cycles) && cycles > 0 && cycles <= INT32_MAX
                            ? static_cast<std::uint32_t>(cycles)
                            : 0;
}

void status_from_uevent(const uevent_fields &fields, battery_status_record *status)
{
    *status = battery_status_record{};
    const uevent_value &state = fields.values[key_status];
    bool charging = equals(state, "Charging");
    bool discharging = equals(state, "Discharging");
    if (charging) {
        status->power_state = battery_charging | battery_power_on_line;
    } else if (discharging) {
        status->power_state = battery_discharging;
    } else if (equals(state, "Full") || equals(state, "Not charging")) {
        status->power_state = battery_power_on_line;
    }
    status->capacity = battery_unknown_capacity;

    std::uint64_t voltage_uv = 0;
    bool voltage_known = read_unsigned(fields, key_voltage_now, &voltage_uv);
    status->voltage = voltage_known ? static_cast<std::uint32_t>(voltage_uv / 1000) : battery_unknown_voltage;

    if (!charging && !discharging) {
        status->rate = 0;
        return;
    }
    std::uint64_t power_uw, current_ua, rate_mw;
    if (read_magnitude(fields, key_power_now, &power_uw)) {
        rate_mw = power_uw / 1000;
    } else if (voltage_known && read_magnitude(fields, key_current_now, &current_ua)) {
        rate_mw = current_ua * voltage_uv / 1000000000u;
    } else {
        status->rate = battery_unknown_rate;
        return;
    }
    if (rate_mw > INT32_MAX) {
        status->rate = battery_unknown_rate;
        return;
    }
    status->rate = discharging ? -static_cast<std::int32_t>(rate_mw) : static_cast<std::int32_t>(rate_mw);
}
