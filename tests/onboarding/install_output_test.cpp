#include "app/ui/onboarding/install_output.h"

#include <gtest/gtest.h>

#include "app/ui/onboarding/install_outcome.h"

namespace korvane::app {
namespace {

TEST(InstallLines, KnownPrefixesBecomeEntriesAndOtherLinesAreNotShown) {
    EXPECT_EQ(classifyInstallLine("STEP:Copying"), (InstallLogLine{"gear", "Copying", false}));
    EXPECT_EQ(classifyInstallLine("OK:Copied"),
              (InstallLogLine{"checkmark.circle.fill", "Copied", false}));
    EXPECT_EQ(classifyInstallLine("ERROR:cp failed"),
              (InstallLogLine{"xmark.circle.fill", "cp failed", true}));
    EXPECT_EQ(classifyInstallLine("SUCCESS:Done"),
              (InstallLogLine{"checkmark.seal.fill", "Done", false}));
    EXPECT_EQ(classifyInstallLine("step:lower case"), std::nullopt);
    EXPECT_EQ(classifyInstallLine(" STEP:indented"), std::nullopt);
    EXPECT_EQ(classifyInstallLine("+ set -x trace"), std::nullopt);
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
// processes; here the endings that are hard to bring about for real.
TEST(InstallExitTexts, OnlyADismissedDialogIsACancellation) {
    EXPECT_EQ(describeInstallExit({126, "Error executing command as another user: Request dismissed\n"}).logEntry,
              (InstallLogLine{"xmark.circle.fill", "Cancelled by user", true}));
    // pkexec's own failure (not authorised, no agent) is a failure, not a
    // cancellation, told in plain words: its own go to the log only.
    InstallOutcome couldNotAsk = describeInstallExit({127, "Error getting authority: Could not connect\n"});
    EXPECT_EQ(couldNotAsk.installError, std::string(kNoApprovalText));
    EXPECT_EQ(couldNotAsk.logEntry.text.find("Error getting"), std::string::npos);
    EXPECT_EQ(couldNotAsk.runnerWords, "Error getting authority: Could not connect");
    EXPECT_EQ(describeInstallExit({1, "bad \xff bytes"}).logEntry.text, "Failed: ");

    InstallOutcome done = describeInstallExit({0, "warnings are not failures"});
    EXPECT_TRUE(done.succeeded);
    EXPECT_EQ(done.logEntry, (InstallLogLine{"checkmark.seal.fill", "Installation complete!", false}));
}

}  // namespace
}  // namespace korvane::app
