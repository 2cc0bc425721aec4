// The static buffers through which every answer leaves the library, the
// fixed answer texts, and the one way to write into a buffer.
#ifndef AMBREL_ANSWER_H
#define AMBREL_ANSWER_H

#include <cstddef>

// Far above the longest status report (under 300 bytes), the longest system
// message and the longest power picture, so that no answer is ever cut.
constexpr std::size_t answer_buffer_size = 16384;

extern char g_result_buf[answer_buffer_size];
extern char g_last_error[answer_buffer_size];
extern char g_power_buf[answer_buffer_size];   // ambrel_power's own, apart from the status call's two

// Fixed answers; callers compare them byte for byte, blanks included.
extern const char json_absent[];
extern const char json_present_unknown[];
extern const char json_no_document[];
extern const char json_empty[];

// Copies text into one of the buffers: at most answer_buffer_size - 1
// bytes, always followed by a NUL, a longer text cut.
void store_answer(char *buffer, const char *text);

#endif
