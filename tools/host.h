// What ambrel-status needs of its operating system: loading the library,
// writing its answers, and waiting between answers. host_posix.cpp and
// host_win32.cpp implement it; the build picks one.
#ifndef AMBREL_TOOLS_HOST_H
#define AMBREL_TOOLS_HOST_H

#include <cstdint>
#include <string>
#include <vector>

// The program's arguments as UTF-8, the program's name first.
std::vector<std::string> utf8_arguments(int argc, char **argv);

// A write to a closed standard output fails instead of ending the process.
void prepare_process();

// The library, loaded by file name as any host would; nullptr and *error
// when it cannot be.
using any_function = void (*)();
void *load_library(const std::string &file, std::string *error);
any_function find_function(void *library, const char *name);   // nullptr when not exported
void unload_library(void *library);

enum class output_result { written, closed, failed };

// Writes text to standard output and flushes it. closed: the reader went
// away (a status bar that ended).
output_result write_standard_output(const std::string &text, std::string *error);

// Replaces the file at path with text: written to a new file in the same
// folder, then renamed over path, so that a reader sees the old text or the
// new one, never a part. An existing file's permissions are kept. On failure
// path is untouched, nothing is left behind, and *error says why.
bool replace_file(const std::string &path, const std::string &text, std::string *error);

// --- Watching -----------------------------------------------------------------

// From here on, SIGINT and SIGTERM (Windows: Ctrl+C, Ctrl+Break, closing the
// console) only end the wait, and so does standard output closing when
// watch_output is true.
void start_watching(bool watch_output);

// Milliseconds on a clock that only moves forward.
std::int64_t monotonic_ms();

enum class wait_result { deadline, stopped, output_closed };

// Sleeps until the clock reaches deadline_ms, without spinning.
wait_result wait_until(std::int64_t deadline_ms);

#endif
