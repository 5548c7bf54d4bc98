#include <gtest/gtest.h>

#include "platform/linux/x11/wm_icon.h"

namespace korvane::linux_platform {
namespace {

std::vector<std::uint32_t> iconProperty(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& sizes) {
    std::vector<std::uint32_t> words;
    for (auto [w, h] : sizes) {
        words.push_back(w);
        words.push_back(h);
        words.insert(words.end(), std::size_t{w} * h, w);  // every pixel says its image's width
    }
    return words;
}

TEST(WindowIcon, TakesTheLargestUpTo256Pixels) {
    auto icon = chooseWindowIcon(iconProperty({{16, 16}, {512, 512}, {256, 256}, {48, 48}}));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 256);
    EXPECT_EQ(icon->height, 256);
    ASSERT_EQ(icon->argb.size(), 256u * 256u);
    EXPECT_EQ(icon->argb.front(), 256u);
    EXPECT_EQ(icon->argb.back(), 256u);
    EXPECT_TRUE(icon->themeNameOrPath.empty());

    // A tall image counts by its longer side.
    EXPECT_EQ(chooseWindowIcon(iconProperty({{32, 300}, {64, 64}}))->width, 64);
    // Only larger ones: the smallest of them rather than no icon at all.
    EXPECT_EQ(chooseWindowIcon(iconProperty({{1024, 1024}, {300, 300}, {512, 512}}))->width, 300);
}

TEST(WindowIcon, BrokenPropertiesGiveWhatPrecedesTheBreak) {
    auto words = iconProperty({{16, 16}, {32, 32}});
    words.pop_back();  // the second image is cut short
    EXPECT_EQ(chooseWindowIcon(words)->width, 16);

    // Sizes whose product does not fit any buffer.
    auto huge = iconProperty({{8, 8}});
    huge.insert(huge.end(), {0xffffffffU, 0xffffffffU, 1, 2, 3});
    EXPECT_EQ(chooseWindowIcon(huge)->width, 8);

    EXPECT_FALSE(chooseWindowIcon({}));
    EXPECT_FALSE(chooseWindowIcon(std::vector<std::uint32_t>{5}));
    EXPECT_FALSE(chooseWindowIcon(std::vector<std::uint32_t>{0, 4, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace korvane::linux_platform
