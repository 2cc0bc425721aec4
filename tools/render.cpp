#include "render.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <yyjson.h>

namespace {

// --- Reading the picture -----------------------------------------------------------

// The parsed answer, released with the scope.
struct parsed_answer {
    yyjson_doc *doc;
    explicit parsed_answer(const char *text) : doc(yyjson_read(text, std::strlen(text), 0)) {}
    ~parsed_answer() { yyjson_doc_free(doc); }
    parsed_answer(const parsed_answer &) = delete;
    parsed_answer &operator=(const parsed_answer &) = delete;
};

// The list of batteries when text is a power picture, else nullptr ("{}" when
// memory ran out in the library).
yyjson_val *batteries_of(yyjson_doc *doc)
{
    yyjson_val *list = yyjson_obj_get(yyjson_doc_get_root(doc), "batteries");
    return yyjson_is_arr(list) ? list : nullptr;
}

bool integer(yyjson_val *obj, const char *key, std::int64_t *out)
{
    yyjson_val *v = yyjson_obj_get(obj, key);
    if (yyjson_is_sint(v)) {
        *out = yyjson_get_sint(v);
        return true;
    }
    if (yyjson_is_uint(v) && yyjson_get_uint(v) <= static_cast<std::uint64_t>(INT64_MAX)) {
        *out = static_cast<std::int64_t>(yyjson_get_uint(v));
        return true;
    }
    return false;
}

bool real(yyjson_val *obj, const char *key, double *out)
{
    yyjson_val *v = yyjson_obj_get(obj, key);
    if (!yyjson_is_num(v)) {
        return false;
    }
    *out = yyjson_get_num(v);
    return true;
}

// A text member, or nullptr when it is null, empty or missing.
const char *text(yyjson_val *obj, const char *key)
{
    yyjson_val *v = yyjson_obj_get(obj, key);
    return yyjson_is_str(v) && yyjson_get_len(v) > 0 ? yyjson_get_str(v) : nullptr;
}

bool is(yyjson_val *obj, const char *key, const char *value)
{
    const char *t = text(obj, key);
    return t != nullptr && std::strcmp(t, value) == 0;
}

// --- Numbers -----------------------------------------------------------------------

std::string number(std::int64_t value)
{
    return std::to_string(value);
}

// value / 10^digits, written exactly, without trailing zeros: 57, 2 gives "0.57".
std::string decimal(std::int64_t value, int digits)
{
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::uint64_t scale = 1;
    for (int i = 0; i < digits; ++i) scale *= 10;
    std::string out = value < 0 ? "-" : "";
    out += std::to_string(magnitude / scale);
    std::uint64_t fraction = magnitude % scale;
    if (fraction != 0) {
        std::string tail = std::to_string(fraction);
        tail.insert(0, static_cast<std::size_t>(digits) - tail.size(), '0');
        while (tail.back() == '0') tail.pop_back();
        out += "." + tail;
    }
    return out;
}

// The shortest text that reads back as the same double.
std::string shortest(double value)
{
    char buffer[32];
    std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// --- For people ----------------------------------------------------------------------

const char *state_words(yyjson_val *obj)
{
    static const char *const words[][2] = {
        {"charging", "charging"}, {"discharging", "discharging"}, {"full", "full"}, {"not_charging", "not charging"},
    };
    for (const auto &w : words) {
        if (is(obj, "state", w[0])) return w[1];
    }
    return nullptr;   // unknown, or no battery
}

// Hours and minutes, to the nearest minute: 4:18.
std::string duration(std::int64_t seconds)
{
    long long minutes = static_cast<long long>((seconds + 30) / 60);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", minutes / 60, minutes % 60);
    return buffer;
}

// The rate's size in watts with one decimal: 9.2 W.
std::string watts(std::int64_t rate_mw)
{
    std::int64_t tenths = ((rate_mw < 0 ? -rate_mw : rate_mw) + 50) / 100;
    return decimal(tenths, 1).append(tenths % 10 == 0 ? ".0 W" : " W");
}

// The state, the charge, and the time left or to full with the rate.
void add_state_and_time(yyjson_val *obj, std::vector<std::string> *parts)
{
    if (const char *words = state_words(obj)) parts->push_back(words);
    std::int64_t value;
    if (integer(obj, "percent", &value)) parts->push_back(number(value) + " %");
    std::string time;
    if (is(obj, "state", "discharging") && integer(obj, "time_to_empty_s", &value)) {
        time = duration(value) + " left";
    } else if (is(obj, "state", "charging") && integer(obj, "time_to_full_s", &value)) {
        time = duration(value) + " until full";
    }
    if (integer(obj, "rate_mw", &value) && value != 0) {
        time = time.empty() ? watts(value) : time + " (" + watts(value) + ")";
    }
    if (!time.empty()) parts->push_back(time);
}

std::string joined(const std::vector<std::string> &parts)
{
    std::string line;
    for (const std::string &part : parts) {
        line += (line.empty() ? "" : ", ") + part;
    }
    return line;
}

// The system's message on one line: line breaks become blanks, trailing ones go.
std::string one_line(const char *message)
{
    std::string line = message;
    for (char &c : line) {
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// A battery's name for people: its id, unless that is a Windows device path.
std::string label(yyjson_val *battery, std::size_t index)
{
    const char *id = text(battery, "id");
    if (id == nullptr || id[0] == '\\') return "Battery " + number(static_cast<std::int64_t>(index) + 1);
    return id;
}

// --- For Prometheus ----------------------------------------------------------------------

std::string label_value(const char *value)
{
    std::string out;
    for (const char *c = value; *c != '\0'; ++c) {
        if (*c == '\\') out += "\\\\";
        else if (*c == '"') out += "\\\"";
        else if (*c == '\n') out += "\\n";
        else out += *c;
    }
    return out;
}

struct family {
    const char *name;
    const char *type;
    const char *help;
    std::string samples;

    void add(const std::string &labels, const std::string &value)
    {
        samples.append(name).append(labels.empty() ? "" : "{" + labels + "}").append(" ").append(value).append("\n");
    }
};

}  // namespace

std::string text_report(const char *power_json)
{
    parsed_answer answer(power_json);
    yyjson_val *list = batteries_of(answer.doc);
    if (list == nullptr) {
        return "no answer from ambrel\n";
    }
    std::string report;
    std::vector<std::string> parts;
    std::size_t index, count;
    yyjson_val *battery;
    yyjson_arr_foreach(list, index, count, battery) {
        parts.clear();
        if (const char *error = text(battery, "error")) {
            parts.push_back("error: " + one_line(error));
        } else {
            add_state_and_time(battery, &parts);
            double health;
            if (real(battery, "health_pct", &health)) parts.push_back("health " + number(std::llround(health)) + " %");
            std::int64_t limit;
            if (integer(battery, "charge_limit_pct", &limit)) parts.push_back("charge limit " + number(limit) + " %");
        }
        report += label(battery, index) + ": " + (parts.empty() ? "no readings" : joined(parts)) + "\n";
    }

    // The summary comes last: a status bar that shows a running command's
    // latest line shows it.
    yyjson_val *root = yyjson_doc_get_root(answer.doc);
    parts.clear();
    yyjson_val *ac = yyjson_obj_get(root, "ac_online");
    if (yyjson_is_bool(ac)) parts.push_back(yyjson_get_bool(ac) ? "AC: on line" : "AC: off line");
    std::size_t before = parts.size();
    add_state_and_time(root, &parts);   // a system may give a percentage with no battery listed
    if (parts.size() == before) parts.push_back(yyjson_arr_size(list) == 0 ? "no battery" : "battery state unknown");
    return report + joined(parts) + "\n";
}

std::string prometheus_report(const char *power_json)
{
    family ac{"ambrel_ac_online", "gauge", "Whether the machine runs on mains power: 1 on line, 0 off line.", {}};
    family charge{"ambrel_charge_ratio", "gauge", "Remaining charge over all batteries, 0 to 1.", {}};
    family empty{"ambrel_time_to_empty_seconds", "gauge", "Time left on battery power, while discharging.", {}};
    family full{"ambrel_time_to_full_seconds", "gauge", "Time until the batteries are full, while charging.", {}};
    family info{"ambrel_battery_info", "gauge", "A battery's identity, in its labels; always 1.", {}};
    family state{"ambrel_battery_state", "gauge", "1 for the battery's state, 0 for the other states.", {}};
    family b_charge{"ambrel_battery_charge_ratio", "gauge", "Remaining charge of the battery, 0 to 1.", {}};
    family energy{"ambrel_battery_energy_joules", "gauge", "Energy left in the battery.", {}};
    family energy_full{"ambrel_battery_energy_full_joules", "gauge", "Energy the battery holds when full, today.", {}};
    family energy_design{"ambrel_battery_energy_design_joules", "gauge", "Energy the battery was designed to hold.", {}};
    family health{"ambrel_battery_health_ratio", "gauge", "Full-charge energy over design energy.", {}};
    family power{"ambrel_battery_power_watts", "gauge", "Charging (positive) or discharging (negative) power.", {}};
    family voltage{"ambrel_battery_voltage_volts", "gauge", "Voltage of the battery.", {}};
    family cycles{"ambrel_battery_charge_cycles_total", "counter", "Charge cycles the battery has been through.", {}};
    family temperature{"ambrel_battery_temperature_celsius", "gauge", "Temperature of the battery.", {}};
    family b_empty{"ambrel_battery_time_to_empty_seconds", "gauge", "Time left on this battery, while it discharges.", {}};
    family b_full{"ambrel_battery_time_to_full_seconds", "gauge", "Time until this battery is full, while it charges.", {}};
    family limit{"ambrel_battery_charge_limit_ratio", "gauge", "Charge at which charging stops, 0 to 1.", {}};
    family *const families[] = {&ac,     &charge,        &empty,  &full,  &info,    &state,  &b_charge,
                                &energy, &energy_full,   &energy_design,  &health,  &power,  &voltage,
                                &cycles, &temperature,   &b_empty, &b_full, &limit};

    parsed_answer answer(power_json);
    yyjson_val *list = batteries_of(answer.doc);
    if (list != nullptr) {
        yyjson_val *root = yyjson_doc_get_root(answer.doc);
        yyjson_val *online = yyjson_obj_get(root, "ac_online");
        if (yyjson_is_bool(online)) ac.add("", yyjson_get_bool(online) ? "1" : "0");
        std::int64_t v, w;
        if (integer(root, "percent", &v)) charge.add("", decimal(v, 2));
        if (integer(root, "time_to_empty_s", &v)) empty.add("", number(v));
        if (integer(root, "time_to_full_s", &v)) full.add("", number(v));

        std::size_t index, count;
        yyjson_val *b;
        yyjson_arr_foreach(list, index, count, b) {
            const char *id = text(b, "id");
            std::string name = "battery=\"" + label_value(id ? id : label(b, index).c_str()) + "\"";
            std::string identity = name;
            for (const char *key : {"manufacturer", "model", "serial", "chemistry"}) {
                if (const char *t = text(b, key)) identity += std::string(",") + key + "=\"" + label_value(t) + "\"";
            }
            info.add(identity, "1");
            for (const char *s : {"charging", "discharging", "full", "not_charging", "unknown"}) {
                state.add(name + ",state=\"" + s + "\"", is(b, "state", s) ? "1" : "0");
            }
            if (integer(b, "percent", &v)) b_charge.add(name, decimal(v, 2));
            if (integer(b, "energy_mwh", &v)) energy.add(name, decimal(v * 36, 1));   // 1 mWh is 3.6 J
            if (integer(b, "full_mwh", &v)) energy_full.add(name, decimal(v * 36, 1));
            if (integer(b, "design_mwh", &w)) energy_design.add(name, decimal(w * 36, 1));
            if (integer(b, "full_mwh", &v) && integer(b, "design_mwh", &w) && w > 0) {
                health.add(name, shortest(static_cast<double>(v) / static_cast<double>(w)));
            }
            if (integer(b, "rate_mw", &v)) power.add(name, decimal(v, 3));
            if (integer(b, "voltage_mv", &v)) voltage.add(name, decimal(v, 3));
            if (integer(b, "cycles", &v)) cycles.add(name, number(v));
            double celsius;
            if (real(b, "temperature_c", &celsius)) temperature.add(name, shortest(celsius));
            if (integer(b, "time_to_empty_s", &v)) b_empty.add(name, number(v));
            if (integer(b, "time_to_full_s", &v)) b_full.add(name, number(v));
            if (integer(b, "charge_limit_pct", &v)) limit.add(name, decimal(v, 2));
        }
    }

    std::string report;
    for (const family *f : families) {
        if (f->samples.empty()) continue;   // a family without samples says nothing
        report.append("# HELP ").append(f->name).append(" ").append(f->help).append("\n");
        report.append("# TYPE ").append(f->name).append(" ").append(f->type).append("\n");
        report.append(f->samples);
    }
    return report;
}
