// Where the installer finds the shipped helper, the script and systemd.
#include <gtest/gtest.h>

#include "platform/linux/install/helper_install_environment.h"
#include "tests/fakes/fake_process_runner.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::linux_platform {
namespace {

TEST(InstallEnvironment, ABuildTreeUsesTheBuiltHelperAndItsCopyOfTheScriptWithoutARunnerAsRoot) {
    testing::FixtureTree tree;
    tree.executable("build/helper/com.korvane.helper");
    tree.executable("build/packaging/install_helper.sh");
    testing::FakeProcessRunner runner;
    InstallEnvironment environment{.programPath = tree.path("build/app/shell/korvane"),
                                   .systemRoot = tree.path("system")};
    auto setup = detectHelperInstallSetup(environment, runner);
    EXPECT_EQ(setup.sourceExecutable, tree.path("build/helper/com.korvane.helper"));
    EXPECT_EQ(setup.installScript, tree.path("build/packaging/install_helper.sh"));
    EXPECT_EQ(setup.privilegeRunner, "/usr/bin/pkexec");
    EXPECT_FALSE(setup.systemdRunning);

    // Root runs the script itself; a test's stand-in still takes pkexec's place.
    environment.runningAsRoot = true;
    EXPECT_EQ(detectHelperInstallSetup(environment, runner).privilegeRunner, "");
    environment.privilegeRunner = "/tests/stand-in";
    EXPECT_EQ(detectHelperInstallSetup(environment, runner).privilegeRunner, "/tests/stand-in");
}

TEST(InstallEnvironment, AnInstallationShipsTheHelperApartFromTheInstalledTool) {
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

    // The real systemd must not run a unit from a private root.
    environment.installRoot = tree.path("private");
    environment.privilegeRunner = "/tests/stand-in";
    auto privateRoot = detectHelperInstallSetup(environment, runner);
    EXPECT_FALSE(privateRoot.systemdRunning);
    EXPECT_EQ(privateRoot.privilegeRunner, "/tests/stand-in");
}

}  // namespace
}  // namespace korvane::linux_platform
