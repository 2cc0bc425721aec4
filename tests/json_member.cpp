#include "json_member.h"

#include <cstdlib>

#include <yyjson.h>

std::string json_member(const std::string &text, const char *pointer)
{
    yyjson_doc *doc = yyjson_read(text.data(), text.size(), 0);
    if (doc == nullptr) {
        return "<not JSON>";
    }
    std::string result = "<missing>";
    if (yyjson_val *value = yyjson_doc_ptr_get(doc, pointer)) {
        char *written = yyjson_val_write(value, 0, nullptr);
        result = written != nullptr ? written : "<unwritable>";
        std::free(written);
    }
    yyjson_doc_free(doc);
    return result;
}
