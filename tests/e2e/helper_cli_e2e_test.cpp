// The built helper and korvanectl against real processes, with a stand-in for
// the taskpolicy tool that records what the helper asked of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"

namespace korvane {
namespace {

using testing::CommandResult;
using testing::HelperDaemon;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A real process to throttle, ended with its test.
struct Sleeper : testing::StartedProgram {
    Sleeper() : StartedProgram({"/bin/sleep", "60"}) {}
    std::string id() const { return std::to_string(StartedProgram::pid()); }
};

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
    std::vector<std::string> toolCalls() const {
        std::istringstream in(dir.read("tool.log"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
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

TEST_F(HelperCliEndToEnd, ThrottlesAndReleasesRealProcesses) {
    Sleeper a, b, c;
    EXPECT_EQ(ctl({"ping"}).out, "alive\n");
    auto throttled = ctl({"throttle", a.id()});
    EXPECT_EQ(throttled.exitStatus, 0);
    EXPECT_EQ(throttled.out, "OK\n");
    EXPECT_EQ(ctl({"throttle-many", b.id(), c.id()}).exitStatus, 0);
    EXPECT_EQ(ctl({"unthrottle-all"}).exitStatus, 0);

    auto calls = toolCalls();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_THAT(std::vector<std::string>(calls.begin(), calls.begin() + 3),
                ElementsAre("-b -p " + a.id(), "-b -p " + b.id(), "-b -p " + c.id()));
    std::set<std::string> released(calls.begin() + 3, calls.end());
    EXPECT_EQ(released, (std::set<std::string>{"-B -p " + a.id(), "-B -p " + b.id(), "-B -p " + c.id()}));
    // Nothing left to release.
    EXPECT_EQ(ctl({"unthrottle-all"}).exitStatus, 0);
    EXPECT_EQ(toolCalls().size(), 6u);
}

// A failure is the helper's message on standard error and exit 1; bad usage
// is 64 and a helper that is gone 2.
TEST_F(HelperCliEndToEnd, FailuresUsageAndAGoneHelperHaveTheirOwnExitCodes) {
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
