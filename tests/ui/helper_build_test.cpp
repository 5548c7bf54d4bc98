// Which helper build is installed, told by comparing the files, across the
// reader's 64 KiB chunks.
#include <gtest/gtest.h>

#include "app/ui/menu_windows/helper_build.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::ui {
namespace {

TEST(HelperBuild, EqualBytesAreTheSameBuildAnyDifferenceOrLengthAnotherAndAMissingFileUnknown) {
    testing::FixtureTree folder;
    const std::string shipped(200000, 'k');
    std::string changedLate = shipped;
    changedLate[150000] = 'x';
    const auto path = [&](const char* name, const std::string& bytes) { return folder.write(name, bytes); };
    const std::string original = path("shipped", shipped);
    EXPECT_EQ(compareHelperBuilds(path("copy", shipped), original), HelperBuild::same);
    EXPECT_EQ(compareHelperBuilds(path("late", changedLate), original), HelperBuild::different);
    EXPECT_EQ(compareHelperBuilds(path("longer", shipped + "k"), original), HelperBuild::different);
    EXPECT_EQ(compareHelperBuilds(path("chunk", shipped.substr(0, 65536)), original), HelperBuild::different);
    EXPECT_EQ(compareHelperBuilds(folder.path("absent"), original), HelperBuild::unknown);
}

}  // namespace
}  // namespace korvane::ui
