#pragma once
// SMC keys of one fan, formed from its index the way the SMC numbers fans.
// Indices of 10 or more give five characters, of which the SMC sees four.
#include <cstdint>
#include <string>

namespace korvane::helper {

// Appended piece by piece: `"F" + std::to_string(...)` trips a false -Wrestrict
// warning of GCC 12 in optimised builds.
inline std::string fanKey(std::int64_t fanIndex, const char* suffix) {
    std::string key = "F";
    key += std::to_string(fanIndex);
    key += suffix;
    return key;
}
inline std::string fanModeKey(std::int64_t fanIndex) { return fanKey(fanIndex, "Md"); }
inline std::string fanTargetKey(std::int64_t fanIndex) { return fanKey(fanIndex, "Tg"); }

}  // namespace korvane::helper
