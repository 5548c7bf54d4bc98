#include "helper/reply_text.h"

#include "shared/util/utf8.h"

namespace korvane::helper {

std::string trimmedToolOutput(std::string_view bytes) {
    if (!isValidUtf8(bytes)) return {};
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    while (!bytes.empty() && isSpace(bytes.front())) bytes.remove_prefix(1);
    while (!bytes.empty() && isSpace(bytes.back())) bytes.remove_suffix(1);
    return std::string(bytes);
}

}  // namespace korvane::helper
