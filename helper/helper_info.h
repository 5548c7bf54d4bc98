#pragma once
// What the helper says about itself (--version, the start-up log).
#include <string_view>

namespace korvane::helper::info {

inline constexpr std::string_view kBundleName = "KorvaneHelper";
inline constexpr std::string_view kVersion = "1.0";

}  // namespace korvane::helper::info
