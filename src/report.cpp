#include "report.h"

#include <cstddef>
#include <cstdlib>

#include <yyjson.h>

#include "answer.h"

// --- Building the document ---------------------------------------------------
//
// Members always come in this order. A member whose add fails for want of
// memory is simply missing; the ones after it are still tried, so the result
// of an add is not looked at.

yyjson_mut_doc *compose_report(const battery_readings &r)
{
    if (!r.percent_known && !r.device_answered && !r.charging_known) {
        store_answer(g_result_buf, json_present_unknown);
        return nullptr;
    }
    yyjson_mut_doc *doc = yyjson_mut_doc_new(nullptr);
    if (doc == nullptr) {
        store_answer(g_result_buf, json_no_document);
        return nullptr;
    }
    // Room for the root and a key and value per member in one block, rather
    // than yyjson's default first block of 16 and a second one.
    constexpr std::size_t report_value_count = 1 + 2 * 11;
    yyjson_mut_doc_set_val_pool_size(doc, report_value_count);

    yyjson_mut_val *obj = yyjson_mut_obj(doc);
    if (obj == nullptr) {
        return doc;   // no root: the writer gives no text, and the answer is "{}"
    }
    yyjson_mut_doc_set_root(doc, obj);

    auto add_int_or_null = [doc, obj](const char *key, bool known, std::int32_t value) {
        if (known) {
            yyjson_mut_obj_add_sint(doc, obj, key, value);
        } else {
            yyjson_mut_obj_add_null(doc, obj, key);
        }
    };

    yyjson_mut_obj_add_bool(doc, obj, "present", true);
    add_int_or_null("percent", r.percent_known, r.percent);
    if (r.charging_known) {
        yyjson_mut_obj_add_bool(doc, obj, "charging", r.charging);
    } else {
        yyjson_mut_obj_add_null(doc, obj, "charging");
    }
    double health;
    if (health_percent(r.design_mwh, r.full_mwh, &health)) {
        yyjson_mut_obj_add_real(doc, obj, "health_pct", health);
    } else {
        yyjson_mut_obj_add_null(doc, obj, "health_pct");
    }
    add_int_or_null("design_mwh", r.design_mwh != -1, r.design_mwh);
    add_int_or_null("full_mwh", r.full_mwh != -1, r.full_mwh);
    add_int_or_null("current_mwh", r.current_mwh >= 0, r.current_mwh);
    add_int_or_null("cycles", r.cycles >= 0, r.cycles);
    add_int_or_null("voltage_mv", r.voltage_mv > 0, r.voltage_mv);
    add_int_or_null("rate_mw", r.rate_mw != 0, r.rate_mw);
    if (r.technology_name[0] != '\0') {
        yyjson_mut_obj_add_strcpy(doc, obj, "chemistry", r.technology_name);
    }
    return doc;
}

// --- Writing and releasing ---------------------------------------------------

void write_report(yyjson_mut_doc *doc)
{
    char *text = yyjson_mut_write_opts(doc, YYJSON_WRITE_NOFLAG, nullptr, nullptr, nullptr);
    store_answer(g_result_buf, text != nullptr ? text : json_empty);
    std::free(text);
    yyjson_mut_doc_free(doc);
}
