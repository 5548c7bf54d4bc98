#pragma once
#include <string_view>

namespace korvane {

// `text` without any of `characters` at either end.
inline std::string_view trimmed(std::string_view text, std::string_view characters) {
    auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

}  // namespace korvane
