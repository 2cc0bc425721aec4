// The report stage: builds the report object from the readings and writes it
// as compact JSON text into g_result_buf.
#ifndef AMBREL_REPORT_H
#define AMBREL_REPORT_H

#include "readings.h"

struct yyjson_mut_doc;

// Returns the report document, which the caller hands to write_report, or
// NULL when the call's answer already stands in g_result_buf (nothing known,
// or no memory for the document).
yyjson_mut_doc *compose_report(const battery_readings &readings);

// Writes the document into g_result_buf ("{}" when the writer gives no text)
// and releases it.
void write_report(yyjson_mut_doc *doc);

#endif
