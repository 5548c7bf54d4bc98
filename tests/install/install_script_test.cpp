// install_helper.sh as pkexec or sudo runs it: as root, into a private root
// where the helper is started without systemd.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/e2e/served_helper.h"
#include "tests/fakes/target_process.h"
#include "tests/install/installed_root.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane::app {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::InstalledRoot;
using testing::runCommand;
namespace fs = std::filesystem;

// A user every Debian system has; the script refuses a number no user has.
constexpr const char* kNobody = "65534";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

class InstallScript : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "the script runs as root";
        source = root.shipHelper();
        sysfs.intelHybridPair();
    }
    testing::CommandResult run(std::vector<std::string> arguments, testing::Environment environment = {},
                               const std::string& script = KORVANE_INSTALL_SCRIPT) {
        arguments.insert(arguments.begin(), script);
        environment.insert(environment.begin(), {{"KORVANE_INSTALL_ROOT", root.tree.root()},
                                                 {"KORVANE_SYSFS_ROOT", sysfs.root()},
                                                 {"PKEXEC_UID", ""},
                                                 {"SUDO_UID", ""}});
        return runCommand(arguments, environment);
    }
    testing::CommandResult ctl(std::vector<std::string> arguments) {
        return testing::korvanectl(root.files.socket(), std::move(arguments));
    }
    static void expectFailure(const testing::CommandResult& result, const std::string& words) {
        EXPECT_EQ(result.exitStatus, 1) << result.out;
        auto lines = linesOf(result.out);
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().starts_with("ERROR:")) << lines.back();
        EXPECT_THAT(lines.back(), HasSubstr(words));
        EXPECT_THAT(result.out, Not(HasSubstr("SUCCESS:")));
    }

    InstalledRoot root;
    testing::CpuSysfs sysfs;  // CPU 1 the only efficiency CPU
    std::string source;
};

// Removal stops the helper, gives back what it confined, then deletes the
// tool, the unit, the log and the records; never the shipped copy.
TEST_F(InstallScript, RemovalReleasesWhatTheHelperConfinedBeforeItsFilesGo) {
    auto installed = run({source, kNobody});
    ASSERT_EQ(installed.exitStatus, 0) << installed.out << installed.err;
    EXPECT_EQ(linesOf(installed.out).back(), "SUCCESS:Done");
    // SUCCESS is claimed only once the helper answers.
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0);
    EXPECT_THAT(testing::readText(root.files.unit()),
                HasSubstr("\nExecStart=" + root.files.tool() + " --allow-uid=65534\n"));
    pid_t helper = root.helperPid();

    testing::TargetProcess target(2, 1);
    ASSERT_TRUE(target.ready());
    ASSERT_EQ(ctl({"throttle-many", std::to_string(target.pid())}).out, "OK\n");
    testing::expectBackground(target.pid(), "1");

    auto removed = run({"--remove"});
    EXPECT_EQ(removed.exitStatus, 0) << removed.out;
    EXPECT_EQ(linesOf(removed.out).back(), "SUCCESS:Helper removed");
    testing::expectNormal(target.pid());
    testing::expectNormal(target.child());
    EXPECT_NE(testing::firstWordOf(helper), root.files.tool());
    EXPECT_FALSE(fs::exists(root.files.runDirectory())) << "the log or the records were left";

    // Installed again from the same shipped copy, as a Reinstall does; run
    // through sudo, it serves the user sudo ran for.
    auto again = run({source}, {{"SUDO_UID", kNobody}});
    EXPECT_EQ(again.exitStatus, 0) << again.out;
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0);
    EXPECT_THAT(testing::readText(root.files.unit()), HasSubstr(" --allow-uid=65534\n"));
}

TEST_F(InstallScript, FailuresEndWithAnErrorLineAndAStatusThatIsNotPkexecs) {
    // A number no user has: the helper would refuse it and never answer.
    expectFailure(run({source, "4294967295"}), "No user has UID 4294967295");
    EXPECT_FALSE(fs::exists(root.files.tool()));
    expectFailure(run({root.tree.path("missing/helper"), kNobody}), "not found");
    expectFailure(run({source}), "UID");
    expectFailure(run({}), "usage");
    // Without its service template beside it.
    std::string lonely = root.tree.path("elsewhere/install_helper.sh");
    fs::create_directories(fs::path(lonely).parent_path());
    fs::copy_file(KORVANE_INSTALL_SCRIPT, lonely);
    expectFailure(run({source, kNobody}, {}, lonely), "template");
    EXPECT_FALSE(fs::exists(root.files.tool()));

    // A helper that ends at once is no success, whatever the steps before said.
    std::string broken = root.tree.write("broken/com.korvane.helper", "#!/bin/sh\necho 'cannot serve' >&2\nexit 1\n",
                                         0755);
    expectFailure(run({broken, kNobody}), "cannot serve");
}

}  // namespace
}  // namespace korvane::app
