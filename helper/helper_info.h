#pragma once
// What the helper says about itself (--version, the start-up log).
#include <string_view>

#include "shared/version/version.h"

namespace korvane::helper::info {

inline constexpr std::string_view kBundleName = "KorvaneHelper";
inline constexpr std::string_view kVersion = kReleaseVersion;

}  // namespace korvane::helper::info
