// korvanectl and the built helper: exit codes, messages, and who may connect.
// A stand-in for the taskpolicy tool fails for a pid no process has.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"

namespace korvane {
namespace {

using testing::CommandResult;
using testing::HelperDaemon;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class HelperCliEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(dir.root().c_str(), 0755);  // so another user may reach the socket's folder
        ASSERT_TRUE(helper.waitUntilListening()) << helper.log();
    }

    CommandResult ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {KORVANE_CTL_BINARY, "--socket", socketPath});
        return testing::runCommand(args);
    }

    testing::FixtureTree dir;
    std::string socketPath = dir.path("helper.sock");
    HelperDaemon helper{KORVANE_HELPER_BINARY,
                        socketPath,
                        dir.path("helper.log"),
                        {{"KORVANE_TASKPOLICY", KORVANE_FAKE_TASKPOLICY},
                         {"FAKE_TASKPOLICY_LOG", dir.path("tool.log")},
                         {"KORVANE_SYSFS_ROOT", dir.mkdir("sys")}}};
};

// A failure is the helper's message on standard error and exit 1; bad usage
// is 64 and a helper that is gone 2.
TEST_F(HelperCliEndToEnd, FailuresUsageAndAGoneHelperHaveTheirOwnExitCodes) {
    EXPECT_EQ(ctl({"ping"}).out, "alive\n");
    std::string ended = std::to_string(testing::endedPid());
    auto gone = ctl({"throttle", ended});
    EXPECT_EQ(gone.exitStatus, 1);
    EXPECT_EQ(gone.out, "");
    EXPECT_EQ(gone.err, "taskpolicy failed for PID " + ended + " with exit code 3: no such process: " + ended + "\n");

    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"throttle"}, {"throttle", "12x"}, {"throttle", "4294967296"}, {"beast", "on"},
             {"fan-mode", "0", "fast"}, {"launch"}}) {
        auto r = ctl(args);
        EXPECT_EQ(r.exitStatus, 64) << (args.empty() ? "" : args[0]);
        EXPECT_THAT(r.err, HasSubstr("usage: korvanectl"));
    }
    auto help = ctl({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: korvanectl"));
    EXPECT_EQ(helper.stop(SIGTERM), 0);
    auto unreachable = ctl({"ping"});
    EXPECT_EQ(unreachable.exitStatus, 2);
    EXPECT_THAT(unreachable.err, StartsWith("korvanectl: "));
}

// The socket file is the first fence: another user cannot even connect.
// With the file opened up, the helper's own check on the peer's uid refuses.
TEST_F(HelperCliEndToEnd, OnlyRootAndTheInstallingUserGetIn) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
    // A copy the other user can reach wherever the build tree lives.
    std::string ctlCopy = dir.path("korvanectl");
    std::filesystem::copy_file(KORVANE_CTL_BINARY, ctlCopy);
    ::chmod(ctlCopy.c_str(), 0755);
    std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                         ctlCopy, "--socket", socketPath, "ping"};
    auto fenced = testing::runCommand(asNobody);
    EXPECT_EQ(fenced.exitStatus, 2) << fenced.err;
    EXPECT_THAT(fenced.err, HasSubstr("Permission denied"));

    ASSERT_EQ(::chmod(socketPath.c_str(), 0666), 0);
    auto refused = testing::runCommand(asNobody);
    EXPECT_EQ(refused.exitStatus, 2) << refused.out;
    EXPECT_THAT(helper.log(), HasSubstr("KorvaneHelper: Refused connection from uid 65534\n"));
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0) << "the allowed user is still served";
}

}  // namespace
}  // namespace korvane
