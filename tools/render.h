// ambrel-status's renderings of the power picture (ambrel_power's JSON
// text): for people, and for Prometheus. Pure functions of the text.
#ifndef AMBREL_TOOLS_RENDER_H
#define AMBREL_TOOLS_RENDER_H

#include <string>

// One line per battery, then a summary line, each ending in a newline:
//   BAT0: discharging, 57 %, 1:21 left (9.2 W), health 92 %
//   BAT1: 88 %, health 92 %, charge limit 80 %
//   AC: off line, discharging, 80 %, 7:39 left (9.2 W)
// Parts that are not known are left out. The README gives every rule.
std::string text_report(const char *power_json);

// The Prometheus text exposition format: every family with # HELP and
// # TYPE, samples only for values that are known.
std::string prometheus_report(const char *power_json);

#endif
