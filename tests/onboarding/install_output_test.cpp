#include "app/ui/onboarding/install_output.h"

#include <gtest/gtest.h>

#include "app/ui/onboarding/install_outcome.h"

namespace korvane::app {
namespace {

// Which icon each prefix gets, the install renders show.
TEST(InstallLines, OnlyKnownPrefixesAtTheStartOfALineAreShown) {
    EXPECT_EQ(classifyInstallLine("ERROR:cp failed"), (InstallLogLine{"xmark.circle.fill", "cp failed", true}));
    for (const char* line : {"step:lower case", " STEP:indented", "+ set -x trace"}) {
        EXPECT_EQ(classifyInstallLine(line), std::nullopt) << line;
    }
}

TEST(InstallLines, LinesAreWholeWhateverTheReadsAndBrokenTextIsDropped) {
    InstallLineBuffer buffer;
    EXPECT_EQ(buffer.append("STEP:a\n\n\nOK:b\r\nSUCC"), (std::vector<std::string>{"STEP:a", "OK:b"}));
    EXPECT_EQ(buffer.append("ESS:Done"), std::vector<std::string>{});
    // The last line is kept even when the installer did not end it.
    EXPECT_EQ(buffer.finish(), std::vector<std::string>{"SUCCESS:Done"});

    InstallLineBuffer split;
    std::string text = "STEP:Kopyalanıyor\n";  // "ı" is two bytes
    std::size_t middle = text.find("\xc4") + 1;
    EXPECT_TRUE(split.append(text.substr(0, middle)).empty());
    EXPECT_EQ(split.append(text.substr(middle)), std::vector<std::string>{"STEP:Kopyalanıyor"});
    EXPECT_EQ(split.append("STEP:\xff\xfe\nOK:fine\n"), std::vector<std::string>{"OK:fine"});
}

// The texts of each ending are checked on the install page with real
// processes; here the endings that are hard to bring about for real. pkexec's
// own failure (not authorised, no agent) is no cancellation, and is told in
// plain words: its own go to the log only.
TEST(InstallExitTexts, ARunnerThatCouldNotAskAndUnreadableOutput) {
    InstallOutcome couldNotAsk = describeInstallExit({127, "Error getting authority: Could not connect\n"});
    EXPECT_EQ(couldNotAsk.installError, std::string(kNoApprovalText));
    EXPECT_EQ(couldNotAsk.logEntry.text.find("Error getting"), std::string::npos);
    EXPECT_EQ(couldNotAsk.runnerWords, "Error getting authority: Could not connect");
    EXPECT_EQ(describeInstallExit({1, "bad \xff bytes"}).logEntry.text, "Failed: ");
}

}  // namespace
}  // namespace korvane::app
