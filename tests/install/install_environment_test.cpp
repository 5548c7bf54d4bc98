// Where the installer finds the helper, the script and systemd.
#include <gtest/gtest.h>

#include "platform/linux/install/helper_install_environment.h"
#include "tests/fakes/fake_process_runner.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::linux_platform {
namespace {

TEST(InstallEnvironment, ABuildTreeUsesTheBuiltHelperAndTheComposedCommandUnderPkexecAndItsScriptAsRoot) {
    testing::FixtureTree tree;
    tree.executable("build/helper/com.korvane.helper");
    tree.executable("build/share/korvane/install_helper.sh");
    testing::FakeProcessRunner runner;
    InstallEnvironment environment{.programPath = tree.path("build/app/shell/korvane"),
                                   .systemRoot = tree.path("system")};
    auto setup = detectHelperInstallSetup(environment, runner);
    EXPECT_EQ(setup.sourceExecutable, tree.path("build/helper/com.korvane.helper"));
    EXPECT_EQ(setup.installScript, "");
    EXPECT_EQ(setup.shippedScript, tree.path("build/share/korvane/install_helper.sh"));
    EXPECT_EQ(setup.privilegeRunner, "/usr/bin/pkexec");
    EXPECT_FALSE(setup.systemdRunning);

    // Root runs the script itself, with no polkit action needed; a test's
    // stand-in still takes pkexec's place.
    environment.runningAsRoot = true;
    auto asRoot = detectHelperInstallSetup(environment, runner);
    EXPECT_EQ(asRoot.privilegeRunner, "");
    EXPECT_EQ(asRoot.installScript, tree.path("build/share/korvane/install_helper.sh"));
    environment.privilegeRunner = "/tests/stand-in";
    EXPECT_EQ(detectHelperInstallSetup(environment, runner).privilegeRunner, "/tests/stand-in");
}

TEST(InstallEnvironment, AnInstalledCopyUsesTheScriptItsPolicyNamesUnlessTheRootIsPrivate) {
    testing::FixtureTree tree;
    tree.executable("usr/libexec/korvane/com.korvane.helper");
    tree.executable("usr/share/korvane/install_helper.sh");
    tree.mkdir("run/systemd/system");
    testing::FakeProcessRunner runner;
    InstallEnvironment environment{.programPath = tree.path("usr/bin/korvane"), .systemRoot = tree.root()};

    auto withoutPolicy = detectHelperInstallSetup(environment, runner);
    EXPECT_EQ(withoutPolicy.sourceExecutable, tree.path("usr/libexec/korvane/com.korvane.helper"));
    EXPECT_EQ(withoutPolicy.installScript, "");
    EXPECT_TRUE(withoutPolicy.systemdRunning);

    tree.write("usr/share/polkit-1/actions/com.korvane.app.install-helper.policy", "<policyconfig/>");
    EXPECT_EQ(detectHelperInstallSetup(environment, runner).installScript,
              tree.path("usr/share/korvane/install_helper.sh"));

    // pkexec would strip a private root from the script's environment, and
    // the real systemd must not run a unit from a private root.
    environment.installRoot = tree.path("private");
    environment.privilegeRunner = "/tests/stand-in";
    auto privateRoot = detectHelperInstallSetup(environment, runner);
    EXPECT_EQ(privateRoot.installScript, "");
    EXPECT_FALSE(privateRoot.systemdRunning);
    EXPECT_EQ(privateRoot.privilegeRunner, "/tests/stand-in");
}

}  // namespace
}  // namespace korvane::linux_platform
