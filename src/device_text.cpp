#include "device_text.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t replacement_character = 0xFFFD;

// Appends one character's UTF-8 bytes when they fit before the NUL; false
// (and nothing written) when they do not, which ends the text.
bool append(char32_t c, char *out, std::size_t capacity, std::size_t *used)
{
    char bytes[4];
    std::size_t n;
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
        n = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | (c >> 18));
        bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
        n = 4;
    }
    if (*used + n > capacity - 1) {
        return false;
    }
    std::memcpy(out + *used, bytes, n);
    *used += n;
    return true;
}

// Decodes the UTF-8 character at text[*at], or U+FFFD for the maximal
// invalid sequence there (the bytes that could begin a valid character),
// and moves *at past what it consumed.
char32_t decode_utf8(const unsigned char *text, std::size_t length, std::size_t *at)
{
    unsigned char lead = text[*at];
    ++*at;
    if (lead < 0x80) {
        return lead;
    }
    std::size_t needed;
    unsigned char lower = 0x80, upper = 0xBF;
    char32_t c;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        c = lead & 0x0F;
        if (lead == 0xE0) lower = 0xA0;   // no overlong forms
        if (lead == 0xED) upper = 0x9F;   // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        c = lead & 0x07;
        if (lead == 0xF0) lower = 0x90;
        if (lead == 0xF4) upper = 0x8F;   // nothing beyond U+10FFFF
    } else {
        return replacement_character;
    }
    for (; needed > 0; --needed) {
        if (*at == length || text[*at] < lower || text[*at] > upper) {
            return replacement_character;   // the byte that does not fit is read again
        }
        c = c << 6 | (text[*at] & 0x3F);
        ++*at;
        lower = 0x80;
        upper = 0xBF;
    }
    return c;
}

bool is_blank(unsigned c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

void copy_as_utf8(const char *bytes, std::size_t length, char *out, std::size_t capacity)
{
    const auto *text = reinterpret_cast<const unsigned char *>(bytes);
    std::size_t used = 0;
    for (std::size_t at = 0; at < length;) {
        if (text[at] < 0x80 && used + 1 < capacity) {   // most device texts are ASCII throughout
            out[used++] = static_cast<char>(text[at++]);
        } else if (!append(decode_utf8(text, length, &at), out, capacity, &used)) {
            break;
        }
    }
    out[used] = '\0';
}

void copy_utf16_as_utf8(const char16_t *units, std::size_t count, char *out, std::size_t capacity)
{
    std::size_t used = 0;
    for (std::size_t at = 0; at < count; ++at) {
        char32_t c = units[at];
        if (c < 0x80 && used + 1 < capacity) {   // most device texts are ASCII throughout
            out[used++] = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < count && units[at + 1] >= 0xDC00 && units[at + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[at + 1] - 0xDC00);
            ++at;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = replacement_character;
        }
        if (!append(c, out, capacity, &used)) {
            break;
        }
    }
    out[used] = '\0';
}

void device_text(const char *bytes, std::size_t length, char *out)
{
    const void *nul = std::memchr(bytes, '\0', length);
    std::size_t end = nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - bytes) : length;
    std::size_t start = 0;
    while (start < end && is_blank(static_cast<unsigned char>(bytes[start]))) ++start;
    while (end > start && is_blank(static_cast<unsigned char>(bytes[end - 1]))) --end;
    copy_as_utf8(bytes + start, end - start, out, device_text_capacity);
}

void device_text_utf16(const char16_t *units, std::size_t count, char *out)
{
    std::size_t end = 0;
    while (end < count && units[end] != 0) ++end;
    std::size_t start = 0;
    while (start < end && is_blank(units[start])) ++start;
    while (end > start && is_blank(units[end - 1])) --end;
    copy_utf16_as_utf8(units + start, end - start, out, device_text_capacity);
}
