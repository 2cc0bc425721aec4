// The report stage of the power picture: the readings written as one compact
// JSON text into g_power_buf.
#ifndef AMBREL_POWER_REPORT_H
#define AMBREL_POWER_REPORT_H

#include "power.h"

// Writes the picture into g_power_buf, every member in its place, null where
// not known; "{}" when memory or the writer fails, or the text would not fit.
void write_power_report(const power_readings &picture);

#endif
