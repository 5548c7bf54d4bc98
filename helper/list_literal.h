#pragma once
// Lists of identifiers as the log prints them: ["a", "b"]. A long list is
// cut after about `limit` bytes, with the count of what was left out:
// ["a", "b", … 998 more].
#include <cstddef>
#include <string>

namespace korvane::helper {

template <class Strings>
std::string listLiteral(const Strings& strings, std::size_t limit = 4096) {
    std::string out = "[";
    bool first = true;
    std::size_t left = strings.size();
    for (const std::string& s : strings) {
        if (!first) out += ", ";
        first = false;
        if (out.size() > limit) {
            out += "… " + std::to_string(left) + " more";
            break;
        }
        --left;
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
