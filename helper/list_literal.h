#pragma once
// Lists of identifiers as the log prints them: ["a", "b"].
#include <string>

namespace korvane::helper {

template <class Strings>
std::string listLiteral(const Strings& strings) {
    std::string out = "[";
    bool first = true;
    for (const std::string& s : strings) {
        if (!first) out += ", ";
        first = false;
        out += '"';
        for (char c : s) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "]";
}

}  // namespace korvane::helper
