#include "uevent.h"

#include <climits>
#include <cstring>

#include "readings.h"

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
    if (length == 0 || length > longest_key) {
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

std::uint8_t technology_code(const uevent_fields &fields)
{
    static const struct {
        const char *name;
        std::uint8_t code;
    } technologies[] = {
        {"NiMH", 1}, {"Li-poly", 2}, {"Li-ion", 3}, {"LiFe", 3}, {"LiMn", 3}, {"NiCd", 4},
    };
    for (const auto &t : technologies) {
        if (equals(fields.values[key_technology], t.name)) {
            return t.code;
        }
    }
    return 255;   // no name
}

// 0 when there is none, as the battery class driver says it.
std::uint32_t cycle_count(const uevent_fields &fields)
{
    std::int64_t cycles;
    return parse_integer(fields.values[key_cycle_count], &cycles) && cycles > 0 && cycles <= INT32_MAX
               ? static_cast<std::uint32_t>(cycles)
               : 0;
}

bool voltage_uv(const uevent_fields &fields, std::uint64_t *voltage)
{
    return read_unsigned(fields, key_voltage_now, voltage);
}

// The voltage in mV as the battery class driver gives it.
std::uint32_t voltage_mv(const uevent_fields &fields)
{
    std::uint64_t voltage;
    return voltage_uv(fields, &voltage) ? static_cast<std::uint32_t>(voltage / 1000) : battery_unknown_voltage;
}

// The rate's magnitude in mW: POWER_NOW, or else CURRENT_NOW times
// VOLTAGE_NOW; *negative when the driver gave it below 0.
bool rate_magnitude_mw(const uevent_fields &fields, std::uint64_t *rate_mw, bool *negative)
{
    std::uint64_t power_uw, current_ua, voltage;
    if (read_magnitude(fields, key_power_now, &power_uw)) {
        *rate_mw = power_uw / 1000;
        *negative = fields.values[key_power_now].data[0] == '-';
    } else if (voltage_uv(fields, &voltage) && read_magnitude(fields, key_current_now, &current_ua)) {
        *rate_mw = current_ua * voltage / 1000000000u;
        *negative = fields.values[key_current_now].data[0] == '-';
    } else {
        return false;
    }
    return *rate_mw <= INT32_MAX;
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
        if (static_cast<std::size_t>(line_end - line) > prefix_length && std::memcmp(line, prefix, prefix_length) == 0) {
            // A key of ours is at most longest_key bytes: look no further for its '='.
            const char *key = line + prefix_length;
            const char *limit = line_end - key > static_cast<std::ptrdiff_t>(longest_key) ? key + longest_key + 1 : line_end;
            const char *equal = static_cast<const char *>(std::memchr(key, '=', static_cast<std::size_t>(limit - key)));
            int k = equal != nullptr ? find_key(key, static_cast<std::size_t>(equal - key)) : -1;
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
    *info = battery_information_record{};
    info->technology = technology_code(fields);
    info->designed_capacity = capacity_mwh(fields, key_energy_full_design, key_charge_full_design);
    info->full_charged_capacity = capacity_mwh(fields, key_energy_full, key_charge_full);
    info->cycle_count = cycle_count(fields);
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

    status->voltage = voltage_mv(fields);

    if (!charging && !discharging) {
        status->rate = 0;
        return;
    }
    std::uint64_t rate_mw;
    bool negative;
    if (!rate_magnitude_mw(fields, &rate_mw, &negative)) {
        status->rate = battery_unknown_rate;
        return;
    }
    status->rate = discharging ? -static_cast<std::int32_t>(rate_mw) : static_cast<std::int32_t>(rate_mw);
}

// --- The power picture ---------------------------------------------------------------

namespace {

// A capacity in mWh by the status call's rules, as a reading.
reading capacity_from(const uevent_fields &fields, uevent_key energy_key, uevent_key charge_key)
{
    return capacity_reading(capacity_mwh(fields, energy_key, charge_key));
}

// An integer value within [low, high], or not known.
reading bounded(const uevent_fields &fields, uevent_key key, std::int64_t low, std::int64_t high)
{
    std::int64_t value;
    return parse_integer(fields.values[key], &value) && value >= low && value <= high ? known_reading(value) : reading{};
}

battery_state state_of(const uevent_value &status)
{
    if (equals(status, "Charging")) return battery_state::charging;
    if (equals(status, "Discharging")) return battery_state::discharging;
    if (equals(status, "Full")) return battery_state::full;
    if (equals(status, "Not charging")) return battery_state::not_charging;
    return battery_state::unknown;
}

void copy_text(const uevent_value &value, char *out)
{
    if (value.given) {
        device_text(value.data, value.length, out);
    }
}

}  // namespace

bool power_source_from_uevent(const uevent_fields &fields, reading *online)
{
    const uevent_value &type = fields.values[key_type];
    bool source = equals(type, "Mains") || equals(type, "Wireless") ||
                  (type.given && type.length >= 3 && std::memcmp(type.data, "USB", 3) == 0);
    if (!source || equals(fields.values[key_scope], "Device")) {
        return false;
    }
    *online = bounded(fields, key_online, 0, 2);
    if (online->known) {
        online->value = online->value != 0;
    }
    return true;
}

void battery_from_uevent(const uevent_fields &fields, battery_entry *b)
{
    clear_battery_entry(b);
    b->state = state_of(fields.values[key_status]);
    b->energy_mwh = capacity_from(fields, key_energy_now, key_charge_now);
    b->full_mwh = capacity_from(fields, key_energy_full, key_charge_full);
    b->design_mwh = capacity_from(fields, key_energy_full_design, key_charge_full_design);

    std::uint8_t capacity;
    b->percent = known_percent(fields, &capacity) ? known_reading(capacity) : percent_of(b->energy_mwh, b->full_mwh);

    std::uint64_t rate_mw;
    bool negative;
    if (rate_magnitude_mw(fields, &rate_mw, &negative)) {
        // The state decides the sign; where it does not (idle, unknown), the driver's own sign stands.
        bool below_zero = b->state == battery_state::discharging ||
                          (negative && b->state != battery_state::charging);
        std::int64_t magnitude = static_cast<std::int64_t>(rate_mw);
        b->rate_mw = known_reading(below_zero ? -magnitude : magnitude);
    }
    std::int32_t voltage = as_signed(voltage_mv(fields));
    if (voltage > 0) {
        b->voltage_mv = known_reading(voltage);
    }
    std::int32_t cycles = cycles_or_unknown(cycle_count(fields));
    if (cycles >= 0) {
        b->cycles = known_reading(cycles);
    }
    b->temperature_dc = bounded(fields, key_temp, -500, 1500);

    if (b->state == battery_state::discharging) {
        b->time_to_empty_s = bounded(fields, key_time_to_empty_now, 1, INT64_MAX);
        if (!b->time_to_empty_s.known) {
            b->time_to_empty_s = estimated_time_to_empty(b->energy_mwh, b->rate_mw);
        }
    }
    if (b->state == battery_state::charging) {
        b->time_to_full_s = bounded(fields, key_time_to_full_now, 1, INT64_MAX);
        if (!b->time_to_full_s.known) {
            b->time_to_full_s = estimated_time_to_full(b->energy_mwh, b->full_mwh, b->rate_mw);
        }
    }
    b->charge_limit_pct = bounded(fields, key_charge_control_end_threshold, 1, 100);
    b->chemistry = technology_name(technology_code(fields));
    copy_text(fields.values[key_manufacturer], b->manufacturer);
    copy_text(fields.values[key_model_name], b->model);
    copy_text(fields.values[key_serial_number], b->serial);
}
