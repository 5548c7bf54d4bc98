#pragma once
// The _NET_WM_ICON property: any number of images, each its width, its height
// and then width * height ARGB pixels, one 32-bit word each. Windows write it
// themselves, so it may be cut short or claim sizes it does not hold.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "app/focus/workspace.h"

namespace korvane::linux_platform {

inline constexpr int kLargestIconSide = 256;

// The largest image whose sides are at most `largestSide`; when every image is
// larger, the smallest of them. Parsing stops at the first image that does
// not fit in what is left.
std::optional<app::AppIcon> chooseWindowIcon(std::span<const std::uint32_t> words,
                                             int largestSide = kLargestIconSide);

}  // namespace korvane::linux_platform
