#pragma once
// SMC keys of one fan, formed from its index the way the SMC numbers fans.
// Indices of 10 or more give five characters, of which the SMC sees four.
#include <cstdint>
#include <string>

namespace korvane::helper {

inline std::string fanModeKey(std::int64_t fanIndex) { return "F" + std::to_string(fanIndex) + "Md"; }
inline std::string fanTargetKey(std::int64_t fanIndex) { return "F" + std::to_string(fanIndex) + "Tg"; }

}  // namespace korvane::helper
