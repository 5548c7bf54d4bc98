#include "platform/linux/x11/wm_icon.h"

#include <algorithm>

namespace korvane::linux_platform {
namespace {

struct Image {
    std::size_t offset = 0;  // of the first pixel
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t side() const { return std::max(width, height); }
    std::uint64_t area() const { return std::uint64_t{width} * height; }
};

// Orders images from least to most wanted.
bool lessWanted(const Image& a, const Image& b, std::uint32_t largestSide) {
    bool aFits = a.side() <= largestSide;
    bool bFits = b.side() <= largestSide;
    if (aFits != bFits) return !aFits;
    if (aFits) return a.side() != b.side() ? a.side() < b.side() : a.area() < b.area();
    return a.side() != b.side() ? a.side() > b.side() : a.area() > b.area();
}

}  // namespace

std::optional<app::AppIcon> chooseWindowIcon(std::span<const std::uint32_t> words, int largestSide) {
    const auto limit = static_cast<std::uint32_t>(std::max(largestSide, 1));
    std::optional<Image> best;
    std::size_t at = 0;
    while (words.size() - at >= 2) {
        Image image{at + 2, words[at], words[at + 1]};
        if (image.width == 0 || image.height == 0 || image.area() > words.size() - image.offset) break;
        if (!best || lessWanted(*best, image, limit)) best = image;
        at = image.offset + static_cast<std::size_t>(image.area());
    }
    if (!best) return std::nullopt;
    app::AppIcon icon;
    icon.width = static_cast<int>(best->width);
    icon.height = static_cast<int>(best->height);
    auto first = words.begin() + static_cast<std::ptrdiff_t>(best->offset);
    icon.argb.assign(first, first + static_cast<std::ptrdiff_t>(best->area()));
    return icon;
}

}  // namespace korvane::linux_platform
