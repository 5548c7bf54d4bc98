// Progress lines read from output that arrives in arbitrary pieces.
#include <gtest/gtest.h>

#include <vector>

#include "app/client/install_progress.h"

namespace korvane::app {
namespace {

TEST(InstallProgress, WholeLinesWithAKnownPrefixArriveInOrderHoweverTheOutputIsCut) {
    std::vector<InstallProgressLine> lines;
    InstallProgressReader reader([&](InstallProgressLine line) { lines.push_back(std::move(line)); });
    reader.feed("STEP:Copy");
    reader.feed("ing the helper\n\nnoise from cp\nOK:");
    reader.feed("Copied\nERROR:\xff\xfe broken\nERROR:Could not write\nSUCCESS:Done");
    EXPECT_EQ(lines.size(), 3U);  // the last line is not whole yet
    reader.finish();
    EXPECT_EQ(lines, (std::vector<InstallProgressLine>{{InstallProgressKind::step, "Copying the helper"},
                                                       {InstallProgressKind::ok, "Copied"},
                                                       {InstallProgressKind::error, "Could not write"},
                                                       {InstallProgressKind::success, "Done"}}));
}

}  // namespace
}  // namespace korvane::app
