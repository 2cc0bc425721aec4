#include "power_report.h"

#include <cstdlib>
#include <cstring>

#include <yyjson.h>

#include "answer.h"
#include "readings.h"

namespace {

// Members per object, each a key and a value, and the values of a document
// for a number of batteries: the pool is made that large at once, so that
// the whole document takes one block.
constexpr std::size_t top_member_count = 9;
constexpr std::size_t battery_member_count = 19;

std::size_t value_count(int batteries)
{
    return 1 + 2 * top_member_count + static_cast<std::size_t>(batteries) * (1 + 2 * battery_member_count);
}

const char *state_name(battery_state state)
{
    switch (state) {
    case battery_state::charging: return "charging";
    case battery_state::discharging: return "discharging";
    case battery_state::full: return "full";
    case battery_state::not_charging: return "not_charging";
    case battery_state::unknown: break;
    }
    return "unknown";
}

// Adds members to one object; any add that fails spoils the whole answer,
// since a power picture with a member missing would be read wrongly. Keys
// are taken as literals and the adds are inlined (yyjson_inline) at each
// member, so that yyjson sees at compile time that a key needs no escaping:
// the writer then copies it whole.
struct object_writer {
    yyjson_mut_doc *doc;
    yyjson_mut_val *obj;
    bool ok;

    template <std::size_t n>
    yyjson_inline void null(const char (&key)[n])
    {
        ok = ok && yyjson_mut_obj_add_null(doc, obj, key);
    }
    template <std::size_t n>
    yyjson_inline void integer(const char (&key)[n], reading value)
    {
        if (!value.known) return null(key);
        ok = ok && yyjson_mut_obj_add_sint(doc, obj, key, value.value);
    }
    template <std::size_t n>
    yyjson_inline void boolean(const char (&key)[n], reading value)
    {
        if (!value.known) return null(key);
        ok = ok && yyjson_mut_obj_add_bool(doc, obj, key, value.value != 0);
    }
    // The texts live in the readings until the document is written: not copied.
    template <std::size_t n>
    yyjson_inline void text(const char (&key)[n], const char *value)
    {
        if (value == nullptr || value[0] == '\0') return null(key);
        ok = ok && yyjson_mut_obj_add_str(doc, obj, key, value);
    }
    template <std::size_t n>
    yyjson_inline void real(const char (&key)[n], bool known, double value)
    {
        if (!known) return null(key);
        ok = ok && yyjson_mut_obj_add_real(doc, obj, key, value);
    }
};

std::int32_t capacity_or_minus_one(reading capacity)
{
    return capacity.known ? static_cast<std::int32_t>(capacity.value) : -1;
}

bool add_battery(yyjson_mut_doc *doc, yyjson_mut_val *list, const battery_entry &b)
{
    yyjson_mut_val *obj = yyjson_mut_arr_add_obj(doc, list);
    if (obj == nullptr) {
        return false;
    }
    object_writer w{doc, obj, true};
    w.text("id", b.id);
    w.text("state", state_name(b.state));
    w.integer("percent", b.percent);
    w.integer("energy_mwh", b.energy_mwh);
    w.integer("full_mwh", b.full_mwh);
    w.integer("design_mwh", b.design_mwh);
    double health = 0;
    bool health_known =
        health_percent(capacity_or_minus_one(b.design_mwh), capacity_or_minus_one(b.full_mwh), &health);
    w.real("health_pct", health_known, health);
    w.integer("rate_mw", b.rate_mw);
    w.integer("voltage_mv", b.voltage_mv);
    w.integer("cycles", b.cycles);
    w.real("temperature_c", b.temperature_dc.known, static_cast<double>(b.temperature_dc.value) / 10.0);
    w.integer("time_to_empty_s", b.time_to_empty_s);
    w.integer("time_to_full_s", b.time_to_full_s);
    w.integer("charge_limit_pct", b.charge_limit_pct);
    w.text("chemistry", b.chemistry);
    w.text("manufacturer", b.manufacturer);
    w.text("model", b.model);
    w.text("serial", b.serial);
    w.text("error", b.error);
    return w.ok;
}

// Builds the document; nullptr when memory fails.
yyjson_mut_doc *compose(const power_readings &p)
{
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    if (doc == nullptr) {
        return nullptr;
    }
    yyjson_mut_val *root = yyjson_mut_doc_set_val_pool_size(doc, value_count(p.battery_count))
                               ? yyjson_mut_obj(doc)
                               : nullptr;
    if (root == nullptr) {
        yyjson_mut_doc_free(doc);
        return nullptr;
    }
    yyjson_mut_doc_set_root(doc, root);
    object_writer w{doc, root, true};
    w.boolean("ac_online", p.ac_online);
    w.text("state", p.battery_count > 0 ? state_name(p.state) : nullptr);
    w.integer("percent", p.percent);
    w.integer("energy_mwh", p.energy_mwh);
    w.integer("full_mwh", p.full_mwh);
    w.integer("rate_mw", p.rate_mw);
    w.integer("time_to_empty_s", p.time_to_empty_s);
    w.integer("time_to_full_s", p.time_to_full_s);
    yyjson_mut_val *list = w.ok ? yyjson_mut_obj_add_arr(doc, root, "batteries") : nullptr;
    bool ok = list != nullptr;
    for (int i = 0; ok && i < p.battery_count; ++i) {
        ok = add_battery(doc, list, p.batteries[i]);
    }
    if (!ok) {
        yyjson_mut_doc_free(doc);
        return nullptr;
    }
    return doc;
}

}  // namespace

void write_power_report(const power_readings &p)
{
    yyjson_mut_doc *doc = compose(p);
    std::size_t length = 0;
    char *text = doc != nullptr ? yyjson_mut_write_opts(doc, YYJSON_WRITE_NOFLAG, nullptr, &length, nullptr) : nullptr;
    // A text that would be cut is no JSON: none comes near, but none is cut.
    if (text != nullptr && length < answer_buffer_size) {
        std::memcpy(g_power_buf, text, length + 1);
    } else {
        store_answer(g_power_buf, json_empty);
    }
    std::free(text);
    yyjson_mut_doc_free(doc);
}
