// The properties every answer of ambrel_status must have, whatever the
// platform said: shared by the fuzz targets.
#ifndef AMBREL_FUZZ_ANSWER_CHECK_H
#define AMBREL_FUZZ_ANSWER_CHECK_H

// Aborts (so the fuzzer reports it) unless text is one of the four fixed
// answers or a report whose members are a subsequence of the eleven, in
// order, each of its own type; and unless both buffers are terminated within
// 16384 bytes. last_error must be empty unless device_error_path.
void check_answer(const char *text, const char *last_error, bool device_error_path);

// Aborts unless text is {} or a power picture: every member present, in
// order, of its own kind and range; at most 16 batteries; a battery with an
// error has nothing else known; times only in their state; the text
// terminated within 16384 bytes.
void check_power_answer(const char *text);

#endif
