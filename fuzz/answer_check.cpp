#include "answer_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <yyjson.h>

namespace {

[[noreturn]] void fail(const char *what, const char *text)
{
    std::fprintf(stderr, "invariant broken: %s\nanswer: %s\n", what, text);
    std::abort();
}

enum member_kind { kind_true, kind_int, kind_bool, kind_real, kind_string };

struct member_rule {
    const char *key;
    member_kind kind;
    bool nullable;
};

const member_rule rules[] = {
    {"present", kind_true, false},   {"percent", kind_int, true},     {"charging", kind_bool, true},
    {"health_pct", kind_real, true}, {"design_mwh", kind_int, true},  {"full_mwh", kind_int, true},
    {"current_mwh", kind_int, true}, {"cycles", kind_int, true},      {"voltage_mv", kind_int, true},
    {"rate_mw", kind_int, true},     {"chemistry", kind_string, false},
};

bool has_kind(yyjson_val *value, const member_rule &rule)
{
    if (rule.nullable && yyjson_is_null(value)) return true;
    switch (rule.kind) {
    case kind_true: return yyjson_is_true(value);
    case kind_int: return yyjson_is_sint(value) || yyjson_is_uint(value);
    case kind_bool: return yyjson_is_bool(value);
    case kind_real: return yyjson_is_real(value);
    case kind_string: return yyjson_is_str(value) && yyjson_get_len(value) > 0;
    }
    return false;
}

}  // namespace

void check_answer(const char *text, const char *last_error, bool device_error_path)
{
    if (strnlen(text, 16384) >= 16384) fail("answer not terminated within 16384 bytes", "");
    if (strnlen(last_error, 16384) >= 16384) fail("last error not terminated within 16384 bytes", "");
    if (!device_error_path && last_error[0] != '\0') fail("last error set outside the device-error path", text);
    if (device_error_path && last_error[0] == '\0') fail("device-error path left no message", text);

    static const char *const fixed[] = {
        "{\"present\": false}",
        "{\"present\": true, \"percent\": null, \"charging\": null}",
        "{\"present\":false,\"percent\":null}",
        "{}",
    };
    for (const char *answer : fixed) {
        if (std::strcmp(text, answer) == 0) return;
    }
    if (device_error_path) fail("device-error path without its fixed answer", text);

    yyjson_doc *doc = yyjson_read(text, std::strlen(text), 0);
    if (doc == nullptr) fail("not JSON", text);
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!yyjson_is_obj(root)) fail("not an object", text);
    std::size_t next_rule = 0;
    yyjson_obj_iter it = yyjson_obj_iter_with(root);
    bool first = true;
    for (yyjson_val *key = yyjson_obj_iter_next(&it); key != nullptr; key = yyjson_obj_iter_next(&it)) {
        const char *name = yyjson_get_str(key);
        while (next_rule < sizeof rules / sizeof rules[0] && std::strcmp(rules[next_rule].key, name) != 0) {
            ++next_rule;
        }
        if (next_rule == sizeof rules / sizeof rules[0]) fail("unknown, repeated or misplaced member", text);
        if (first && next_rule != 0) fail("report without \"present\" first", text);
        first = false;
        if (!has_kind(yyjson_obj_iter_get_val(key), rules[next_rule])) fail("member of the wrong kind", text);
        ++next_rule;
    }
    yyjson_doc_free(doc);
}

// --- The power picture ------------------------------------------------------------

namespace {

enum value_kind { any_bool, state_text, percent_int, any_int, positive_int, non_negative_int, limit_int, any_real,
                  temperature_real, any_text, device_text_value };

struct power_rule {
    const char *key;
    value_kind kind;
};

const power_rule top_rules[] = {
    {"ac_online", any_bool},        {"state", state_text},          {"percent", percent_int},
    {"energy_mwh", non_negative_int}, {"full_mwh", non_negative_int}, {"rate_mw", any_int},
    {"time_to_empty_s", non_negative_int}, {"time_to_full_s", non_negative_int},
};

const power_rule battery_rules[] = {
    {"id", any_text},
    {"state", state_text},
    {"percent", percent_int},
    {"energy_mwh", non_negative_int},
    {"full_mwh", non_negative_int},
    {"design_mwh", non_negative_int},
    {"health_pct", any_real},
    {"rate_mw", any_int},
    {"voltage_mv", positive_int},
    {"cycles", positive_int},
    {"temperature_c", temperature_real},
    {"time_to_empty_s", non_negative_int},
    {"time_to_full_s", non_negative_int},
    {"charge_limit_pct", limit_int},
    {"chemistry", any_text},
    {"manufacturer", device_text_value},
    {"model", device_text_value},
    {"serial", device_text_value},
    {"error", any_text},
};

bool in_range(yyjson_val *v, std::int64_t low, std::int64_t high)
{
    if (!yyjson_is_int(v)) return false;
    std::int64_t n = yyjson_is_sint(v) ? yyjson_get_sint(v) : static_cast<std::int64_t>(yyjson_get_uint(v));
    return n >= low && n <= high;
}

bool has_power_kind(yyjson_val *v, value_kind kind)
{
    if (yyjson_is_null(v)) return true;
    switch (kind) {
    case any_bool: return yyjson_is_bool(v);
    case state_text: {
        if (!yyjson_is_str(v)) return false;
        for (const char *name : {"charging", "discharging", "full", "not_charging", "unknown"}) {
            if (std::strcmp(yyjson_get_str(v), name) == 0) return true;
        }
        return false;
    }
    case percent_int: return in_range(v, 0, 100);
    case any_int: return yyjson_is_int(v);
    case positive_int: return in_range(v, 1, INT64_MAX);
    case non_negative_int: return in_range(v, 0, INT64_MAX);
    case limit_int: return in_range(v, 1, 100);
    case any_real: return yyjson_is_real(v);
    case temperature_real: return yyjson_is_real(v) && yyjson_get_real(v) >= -50.0 && yyjson_get_real(v) <= 150.0;
    case any_text: return yyjson_is_str(v) && yyjson_get_len(v) > 0;
    case device_text_value: return yyjson_is_str(v) && yyjson_get_len(v) > 0 && yyjson_get_len(v) <= 63;
    }
    return false;
}

// The members of obj, exactly the rules' keys in order; returns them by index.
template <std::size_t n>
void check_members(yyjson_val *obj, const power_rule (&rules)[n], yyjson_val *(&values)[n], const char *text)
{
    if (!yyjson_is_obj(obj) || yyjson_obj_size(obj) != n) fail("power object without exactly its members", text);
    yyjson_obj_iter it = yyjson_obj_iter_with(obj);
    for (std::size_t i = 0; i < n; ++i) {
        yyjson_val *key = yyjson_obj_iter_next(&it);
        if (std::strcmp(yyjson_get_str(key), rules[i].key) != 0) fail("power member missing or misplaced", text);
        values[i] = yyjson_obj_iter_get_val(key);
        if (!has_power_kind(values[i], rules[i].kind)) fail("power member of the wrong kind or range", text);
    }
}

bool is_state(yyjson_val *v, const char *state)
{
    return yyjson_is_str(v) && std::strcmp(yyjson_get_str(v), state) == 0;
}

}  // namespace

void check_power_answer(const char *text)
{
    if (strnlen(text, 16384) >= 16384) fail("power answer not terminated within 16384 bytes", "");
    if (std::strcmp(text, "{}") == 0) return;
    yyjson_doc *doc = yyjson_read(text, std::strlen(text), 0);
    if (doc == nullptr) fail("power answer is not JSON", text);
    yyjson_val *root = yyjson_doc_get_root(doc);
    if (!yyjson_is_obj(root) || yyjson_obj_size(root) != 9) fail("power answer without its nine members", text);
    yyjson_val *top[8];
    yyjson_obj_iter it = yyjson_obj_iter_with(root);
    for (std::size_t i = 0; i < 8; ++i) {
        yyjson_val *key = yyjson_obj_iter_next(&it);
        if (std::strcmp(yyjson_get_str(key), top_rules[i].key) != 0) fail("power member missing or misplaced", text);
        top[i] = yyjson_obj_iter_get_val(key);
        if (!has_power_kind(top[i], top_rules[i].kind)) fail("power member of the wrong kind or range", text);
    }
    yyjson_val *last = yyjson_obj_iter_next(&it);
    if (std::strcmp(yyjson_get_str(last), "batteries") != 0) fail("no batteries member last", text);
    yyjson_val *batteries = yyjson_obj_iter_get_val(last);
    if (!yyjson_is_arr(batteries) || yyjson_arr_size(batteries) > 16) fail("batteries not a list of at most 16", text);
    if (yyjson_is_null(top[1]) != (yyjson_arr_size(batteries) == 0)) fail("a state without batteries, or none", text);
    if (!yyjson_is_null(top[6]) && !is_state(top[1], "discharging")) fail("time to empty while not discharging", text);
    if (!yyjson_is_null(top[7]) && !is_state(top[1], "charging")) fail("time to full while not charging", text);

    std::size_t index, count;
    yyjson_val *battery;
    yyjson_arr_foreach(batteries, index, count, battery) {
        yyjson_val *values[sizeof battery_rules / sizeof battery_rules[0]];
        check_members(battery, battery_rules, values, text);
        if (!yyjson_is_null(values[11]) && !is_state(values[1], "discharging")) fail("battery time to empty", text);
        if (!yyjson_is_null(values[12]) && !is_state(values[1], "charging")) fail("battery time to full", text);
        if (!yyjson_is_null(values[18])) {
            if (!is_state(values[1], "unknown")) fail("a battery with an error has a state", text);
            for (std::size_t i = 2; i < 18; ++i) {
                if (!yyjson_is_null(values[i])) fail("a battery with an error has readings", text);
            }
        }
    }
    yyjson_doc_free(doc);
}
