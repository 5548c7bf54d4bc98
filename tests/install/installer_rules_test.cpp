// The installer's rules that need no installation: progress lines read from
// output that arrives in arbitrary pieces, and where the installer finds the
// shipped helper, the script and systemd.
#include <gtest/gtest.h>

#include <vector>

#include "app/client/install_progress.h"
#include "platform/linux/install/helper_install_environment.h"
#include "tests/fakes/fake_process_runner.h"
#include "tests/fakes/fixture_tree.h"

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

namespace korvane::linux_platform {
namespace {

// The install routes test proves each layout on real installations as root;
// these are the rules it cannot see: which copy of the helper is shipped
// beside the installed tool, who runs the script, and systemd in a private root.
TEST(InstallEnvironment, AnInstallationShipsTheHelperApartAndAPrivateRootNeverUsesSystemd) {
    testing::FixtureTree tree;
    // With the default prefix the installed tool is usr/local/libexec/korvane's.
    tree.executable("usr/local/libexec/korvane/com.korvane.helper");
    tree.executable("usr/local/lib/korvane/com.korvane.helper");
    tree.executable("usr/local/share/korvane/install_helper.sh");
    tree.mkdir("run/systemd/system");
    testing::FakeProcessRunner runner;
    InstallEnvironment environment{.programPath = tree.path("usr/local/bin/korvane"), .systemRoot = tree.root()};
    auto setup = detectHelperInstallSetup(environment, runner);
    EXPECT_EQ(setup.sourceExecutable, tree.path("usr/local/lib/korvane/com.korvane.helper"));
    EXPECT_EQ(setup.installScript, tree.path("usr/local/share/korvane/install_helper.sh"));
    EXPECT_TRUE(setup.systemdRunning);

    // Root runs the script itself; a test's stand-in still takes pkexec's place.
    environment.runningAsRoot = true;
    EXPECT_EQ(detectHelperInstallSetup(environment, runner).privilegeRunner, "");
    // The real systemd must not run a unit from a private root.
    environment.installRoot = tree.path("private");
    environment.privilegeRunner = "/tests/stand-in";
    auto privateRoot = detectHelperInstallSetup(environment, runner);
    EXPECT_FALSE(privateRoot.systemdRunning);
    EXPECT_EQ(privateRoot.privilegeRunner, "/tests/stand-in");
}

}  // namespace
}  // namespace korvane::linux_platform
