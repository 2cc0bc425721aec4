// ambrel-status: loads the ambrel library at run time, as any host would,
// and prints the battery's state: once, or every few seconds when it changes;
// as JSON, for people, or for Prometheus; on standard output or into a file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "render.h"

namespace {

const char usage[] =
    "usage: ambrel-status [--all | --text | --prometheus] [--output FILE] [--watch [SECONDS]]\n"
    "                     [--last-error] [--library FILE]\n"
    "\n"
    "Prints the machine's battery state as the ambrel library reports it. By\n"
    "default: ambrel_status's JSON text and a newline.\n"
    "\n"
    "  --all             the whole power picture as JSON (ambrel_power): every\n"
    "                    battery, the power source and the time left\n"
    "  --text            for people: one line per battery, then a summary line\n"
    "                    (BAT0: discharging, 87 %, 4:18 left (8.5 W), health 84 %)\n"
    "  --prometheus      Prometheus' text exposition format, for node_exporter's\n"
    "                    textfile collector or any scraper of metrics files\n"
    "  --output FILE     write FILE instead of standard output: a new file in the\n"
    "                    same folder, renamed over FILE, so that a reader never sees\n"
    "                    half of it; FILE's permissions are kept\n"
    "  --watch [SECONDS] ask again every SECONDS (default 5, 1 to 86400) and print\n"
    "                    (or rewrite FILE) only when the answer changed, the first\n"
    "                    answer at once; ends with status 0 on SIGINT or SIGTERM, or\n"
    "                    when standard output is closed\n"
    "  --last-error      with the default output: also print the system's message\n"
    "                    for a battery device error (an empty line when none)\n"
    "  --library FILE    load this library file instead of " AMBREL_LIBRARY_FILE "\n"
    "  --help            show this text\n"
    "\n"
    "Exit status: 0 done, 1 the library or the output failed, 2 usage error.\n"
    "\n"
    "Examples:\n"
    "  ambrel-status --text\n"
    "  i3blocks, one block asked every 30 seconds (the summary is the last line):\n"
    "      [battery]\n"
    "      command=ambrel-status --text | tail -n 1\n"
    "      interval=30\n"
    "  waybar, a module that stays running and shows each new summary:\n"
    "      \"custom/battery\": { \"exec\": \"ambrel-status --text --watch 10\" }\n"
    "  tmux: set -g status-right '#(ambrel-status --text | tail -n 1)'\n"
    "  node_exporter's textfile collector, from cron every minute:\n"
    "      * * * * * root ambrel-status --prometheus --output /var/lib/prometheus/node-exporter/ambrel.prom\n"
    "  or as a systemd service that rewrites the file when the state changes:\n"
    "      ExecStart=/usr/bin/ambrel-status --prometheus --watch 60 --output /var/lib/prometheus/node-exporter/ambrel.prom\n";

enum class mode { status, all, text, prometheus };

struct settings {
    mode output_mode = mode::status;
    bool mode_chosen = false;
    bool last_error = false;
    std::string library = AMBREL_LIBRARY_FILE;
    std::string output;       // empty: standard output
    bool watch = false;
    long interval_s = 5;
};

constexpr long longest_interval_s = 86400;

using text_function = const char *(*)();

struct library_functions {
    text_function status;
    text_function power;
    text_function last_error;
};

// A decimal number of seconds, 1 to a day, and nothing else.
bool parse_interval(const std::string &text, long *seconds)
{
    if (text.empty() || text.size() > 5) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > longest_interval_s) return false;
    *seconds = value;
    return true;
}

// Reads the arguments; false with *problem on a usage error.
bool parse_arguments(const std::vector<std::string> &args, settings *s, bool *help, std::string *problem)
{
    bool output_given = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        std::string name = arg.substr(0, arg.find('='));
        bool inline_value = name.size() < arg.size();
        std::string value = inline_value ? arg.substr(name.size() + 1) : "";
        auto takes_value = [&](const char *what) {
            if (!inline_value) {
                if (i + 1 == args.size()) {
                    *problem = name + " needs " + what;
                    return false;
                }
                value = args[++i];
            }
            if (value.empty()) {
                *problem = name + " needs " + what;
                return false;
            }
            return true;
        };
        if ((name == "--help" || name == "-h") && !inline_value) {
            *help = true;
            return true;
        }
        if ((name == "--all" || name == "--text" || name == "--prometheus") && !inline_value) {
            if (s->mode_chosen) {
                *problem = "choose one of --all, --text and --prometheus";
                return false;
            }
            s->mode_chosen = true;
            s->output_mode = name == "--all" ? mode::all : name == "--text" ? mode::text : mode::prometheus;
        } else if (name == "--last-error" && !inline_value) {
            s->last_error = true;
        } else if (name == "--library") {
            if (!takes_value("a file")) return false;
            s->library = value;
        } else if (name == "--output") {
            if (output_given) {
                *problem = "--output is given twice";
                return false;
            }
            if (!takes_value("a file")) return false;
            output_given = true;
            s->output = value;
        } else if (name == "--watch") {
            s->watch = true;
            // The number is optional: the next argument is taken when it is not an option.
            if (!inline_value && i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
                value = args[++i];
                inline_value = true;
            }
            if (inline_value && !parse_interval(value, &s->interval_s)) {
                *problem = "--watch takes a whole number of seconds from 1 to 86400, not '" + value + "'";
                return false;
            }
        } else {
            *problem = "unknown option '" + arg + "'";
            return false;
        }
    }
    if (s->last_error && s->output_mode != mode::status) {
        *problem = "--last-error goes with the default output only";
        return false;
    }
    return true;
}

// The answer as it is to be written, newline included.
std::string answer(const settings &s, const library_functions &f)
{
    switch (s.output_mode) {
    case mode::all:
        return std::string(f.power()) + "\n";
    case mode::text:
        return text_report(f.power());
    case mode::prometheus:
        return prometheus_report(f.power());
    case mode::status:
        break;
    }
    std::string text = std::string(f.status()) + "\n";
    if (s.last_error) {
        text += std::string(f.last_error()) + "\n";
    }
    return text;
}

// Writes one answer; returns the exit status to end with, or -1 to go on.
int deliver(const settings &s, const std::string &text)
{
    std::string error;
    if (!s.output.empty()) {
        if (replace_file(s.output, text, &error)) return -1;
    } else {
        switch (write_standard_output(text, &error)) {
        case output_result::written: return -1;
        case output_result::closed: return 0;   // the reader went away: nothing to report
        case output_result::failed: break;
        }
    }
    std::fprintf(stderr, "ambrel-status: %s\n", error.c_str());
    return 1;
}

int run(const settings &s, const library_functions &f)
{
    if (!s.watch) {
        int status = deliver(s, answer(s, f));
        return status < 0 ? 0 : status;
    }
    start_watching(s.output.empty());
    const std::int64_t interval_ms = s.interval_s * 1000;
    std::string previous;
    bool first = true;
    // Deadlines are whole intervals from the start, so no call's length makes
    // the next one drift; a round that overran skips what it missed.
    std::int64_t deadline = monotonic_ms();
    for (;;) {
        std::string text = answer(s, f);
        if (first || text != previous) {
            int status = deliver(s, text);
            if (status >= 0) return status;
            previous = text;
            first = false;
        }
        std::int64_t now = monotonic_ms();
        deadline += interval_ms;
        if (deadline <= now) {
            deadline += (now - deadline) / interval_ms * interval_ms + interval_ms;
        }
        switch (wait_until(deadline)) {
        case wait_result::deadline: break;
        case wait_result::stopped: return 0;
        case wait_result::output_closed: return 0;
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    prepare_process();
    settings s;
    bool help = false;
    std::string problem;
    if (!parse_arguments(utf8_arguments(argc, argv), &s, &help, &problem)) {
        std::fprintf(stderr, "ambrel-status: %s\nTry 'ambrel-status --help' for more.\n", problem.c_str());
        return 2;
    }
    if (help) {
        std::fputs(usage, stdout);
        return 0;
    }

    std::string error;
    void *library = load_library(s.library, &error);
    if (library == nullptr) {
        std::fprintf(stderr, "ambrel-status: cannot load %s: %s\n", s.library.c_str(), error.c_str());
        return 1;
    }
    library_functions f{};
    const char *needed[] = {"ambrel_status", "ambrel_power", "ambrel_last_error"};
    text_function *slots[] = {&f.status, &f.power, &f.last_error};
    for (int i = 0; i < 3; ++i) {
        *slots[i] = reinterpret_cast<text_function>(find_function(library, needed[i]));
        if (*slots[i] == nullptr) {
            std::fprintf(stderr, "ambrel-status: %s does not export %s\n", s.library.c_str(), needed[i]);
            unload_library(library);
            return 1;
        }
    }
    int status = run(s, f);   // the texts live in the library: every answer is written before it goes
    unload_library(library);
    return status;
}
