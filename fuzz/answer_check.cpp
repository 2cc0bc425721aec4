#include "answer_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
