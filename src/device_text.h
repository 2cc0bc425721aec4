// Texts a device gives (names, serial numbers, paths, system messages) made
// safe for the answer: valid UTF-8, bounded, NUL-terminated. A writer that
// refuses invalid UTF-8 then never fails on them.
#ifndef AMBREL_DEVICE_TEXT_H
#define AMBREL_DEVICE_TEXT_H

#include <cstddef>

// The room for a device's own text: at most 63 bytes and a NUL.
constexpr std::size_t device_text_capacity = 64;

// Copies length bytes as UTF-8 into out (capacity bytes, at least 1): each
// maximal sequence that is not valid UTF-8 becomes U+FFFD, and the text is
// cut at the last whole character that fits before the NUL.
void copy_as_utf8(const char *bytes, std::size_t length, char *out, std::size_t capacity);

// The same from UTF-16 units; an unpaired surrogate becomes U+FFFD.
void copy_utf16_as_utf8(const char16_t *units, std::size_t count, char *out, std::size_t capacity);

// A device's own text (manufacturer, model, serial number), in this order:
// it ends at its first NUL or after length; blanks and tabs at either end are
// trimmed; then it is copied as above into out (device_text_capacity bytes).
// An empty result means not known.
void device_text(const char *bytes, std::size_t length, char *out);
void device_text_utf16(const char16_t *units, std::size_t count, char *out);

#endif
