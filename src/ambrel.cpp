#include "ambrel.h"

#include <cstring>

#include "answer.h"
#include "power.h"
#include "power_report.h"
#include "readings.h"
#include "report.h"

char g_result_buf[answer_buffer_size] = "{}";
char g_last_error[answer_buffer_size] = "";
char g_power_buf[answer_buffer_size] = "{}";

const char json_absent[] = "{\"present\": false}";
const char json_present_unknown[] = "{\"present\": true, \"percent\": null, \"charging\": null}";
const char json_no_document[] = "{\"present\":false,\"percent\":null}";
const char json_empty[] = "{}";

void store_answer(char *buffer, const char *text)
{
    std::size_t length = strnlen(text, answer_buffer_size - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

extern "C" {

AMBREL_API const char *ambrel_status(void)
{
    g_last_error[0] = '\0';
    g_result_buf[0] = '\0';
    battery_readings readings;
    if (gather_battery_readings(&readings)) {
        if (yyjson_mut_doc *doc = compose_report(readings)) {
            write_report(doc);
        }
    }
    return g_result_buf;
}

AMBREL_API const char *ambrel_power(void)
{
    g_power_buf[0] = '\0';
    // Some 16 KiB: on the caller's stack, since calls do not overlap and
    // nothing outlives one.
    power_readings picture;
    if (gather_power_readings(&picture)) {
        write_power_report(picture);
    } else {
        store_answer(g_power_buf, json_empty);
    }
    return g_power_buf;
}

AMBREL_API void ambrel_free_string(const char *text)
{
    (void)text;   // every text lives in static storage; there is nothing to free
}

AMBREL_API const char *ambrel_last_error(void)
{
    return g_last_error;
}

}  // extern "C"
