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

TEST(InstallLines, ALineSplitAcrossReadsIsOneLine) {
    InstallLineBuffer buffer;
    EXPECT_TRUE(buffer.append("STEP:Cop").empty());
    EXPECT_EQ(buffer.append("ying\n"), std::vector<std::string>{"STEP:Copying"});
    EXPECT_TRUE(buffer.finish().empty());
}

TEST(InstallLines, SeveralLinesInOneReadEmptyLinesAndCarriageReturns) {
    InstallLineBuffer buffer;
    EXPECT_EQ(buffer.append("STEP:a\n\n\nOK:b\r\nSUCC"),
              (std::vector<std::string>{"STEP:a", "OK:b"}));
    EXPECT_EQ(buffer.append("ESS:Done"), std::vector<std::string>{});
    // The last line is kept even when the installer did not end it.
    EXPECT_EQ(buffer.finish(), std::vector<std::string>{"SUCCESS:Done"});
}

TEST(InstallLines, ACharacterSplitBetweenReadsSurvivesAndBrokenTextIsDropped) {
    InstallLineBuffer buffer;
    std::string text = "STEP:Kopyalanıyor\n";  // "ı" is two bytes
    std::size_t middle = text.find("\xc4") + 1;
    EXPECT_TRUE(buffer.append(text.substr(0, middle)).empty());
    EXPECT_EQ(buffer.append(text.substr(middle)), std::vector<std::string>{"STEP:Kopyalanıyor"});
    EXPECT_EQ(buffer.append("STEP:\xff\xfe\nOK:fine\n"), std::vector<std::string>{"OK:fine"});
}

TEST(InstallExitTexts, DismissedDialogFailureAndSuccess) {
    InstallOutcome cancelled =
        describeInstallExit({126, "Error executing command as another user: Request dismissed\n"});
    EXPECT_FALSE(cancelled.succeeded);
    EXPECT_EQ(cancelled.installError, "Installation cancelled. Please try again.");
    EXPECT_EQ(cancelled.logEntry, (InstallLogLine{"xmark.circle.fill", "Cancelled by user", true}));
    EXPECT_EQ(cancelled.logLine, "Onboarding — Helper kurulumu başarısız (exit=126)");

    InstallOutcome failed = describeInstallExit({1, "cp: cannot stat 'x': No such file\n"});
    EXPECT_EQ(failed.installError, "Installation failed (exit code 1)");
    EXPECT_EQ(failed.logEntry, (InstallLogLine{"xmark.circle.fill",
                                               "Failed: cp: cannot stat 'x': No such file", true}));
    EXPECT_EQ(failed.logLine, "Onboarding — Helper kurulumu başarısız (exit=1)");

    // pkexec's own failure (not authorised, no agent) is a failure, not a cancellation.
    EXPECT_EQ(describeInstallExit({127, ""}).installError, "Installation failed (exit code 127)");
    EXPECT_EQ(describeInstallExit({1, "bad \xff bytes"}).logEntry.text, "Failed: ");

    InstallOutcome done = describeInstallExit({0, "warnings are not failures"});
    EXPECT_TRUE(done.succeeded);
    EXPECT_EQ(done.installError, std::nullopt);
    EXPECT_EQ(done.logEntry,
              (InstallLogLine{"checkmark.seal.fill", "Installation complete!", false}));
    EXPECT_EQ(done.logLine, "Onboarding — Helper kurulumu başarılı.");
}

}  // namespace
}  // namespace korvane::app
