// Who owns the helper's socket: one helper per path, in a folder nobody else
// controls, only root and the installing user as clients, and korvanectl
// speaking only to a root peer, with an exit code for each way it fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <list>

#include "platform/linux/socket/unix_socket.h"
#include "tests/e2e/served_helper.h"

namespace korvane {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Clock = std::chrono::steady_clock;

constexpr uid_t kNobody = 65534;

ino_t inodeOf(const std::string& path) {
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A socket of the test's own listening at `path`; its file stays when it closes.
linux_platform::Fd listenAt(const std::string& path, uid_t owner = 0) {
    auto listener = linux_platform::listenUnix(path, owner);
    EXPECT_TRUE(listener) << listener.error();
    return listener ? std::move(listener->fd) : linux_platform::Fd();
}

class HelperInstanceEndToEnd : public testing::ServedHelper {
protected:
    // A helper expected to refuse to start; bounded should it serve instead.
    testing::CommandResult startRefused(const std::string& socket) {
        return testing::runCommand({"/usr/bin/timeout", "10", KORVANE_HELPER_BINARY, "--allow-uid=0"},
                                   {{"KORVANE_HELPER_SOCKET", socket}, {"KORVANE_SYSFS_ROOT", dir.mkdir("sys")}});
    }

    void serve() { startHelper({{"KORVANE_SYSFS_ROOT", dir.mkdir("sys")}}); }
};

// A second helper leaves a live one's socket alone; a helper removes its own
// socket when it stops, but not a path someone else has taken over since. (A
// stale socket is replaced: the race below starts on one every round.)
TEST_F(HelperInstanceEndToEnd, AHelperRemovesOnlyItsOwnSocketAndASecondLeavesALiveOnesAlone) {
    testing::HelperDaemon first(KORVANE_HELPER_BINARY, socketPath, dir.path("first.log"));
    ASSERT_TRUE(first.waitUntilListening()) << first.log();
    ino_t served = inodeOf(socketPath);
    auto second = startRefused(socketPath);
    EXPECT_EQ(second.exitStatus, 1);
    EXPECT_THAT(second.err, HasSubstr("another helper is already serving " + socketPath));
    EXPECT_EQ(inodeOf(socketPath), served);
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0);
    EXPECT_EQ(first.stop(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::exists(socketPath));

    startHelper({});
    ASSERT_EQ(::unlink(socketPath.c_str()), 0);
    auto other = listenAt(socketPath);
    ino_t others = inodeOf(socketPath);
    EXPECT_EQ(helper->stop(SIGTERM), 0);
    EXPECT_EQ(inodeOf(socketPath), others);
}

// Two helpers started at the same instant on a stale socket: one serves,
// the other says so and ends, every time.
TEST_F(HelperInstanceEndToEnd, OfTwoHelpersStartedAtOnceOnAStaleSocketOneServes) {
    testing::Environment environment{{"KORVANE_HELPER_SOCKET", socketPath}, {"KORVANE_SYSFS_ROOT", dir.mkdir("sys")}};
    for (int round = 0; round < 15; ++round) {
        listenAt(socketPath);  // closed at once: a stale socket
        std::list<testing::StartedProgram> helpers;
        for (int i = 0; i < 2; ++i) {
            helpers.emplace_back(std::vector<std::string>{KORVANE_HELPER_BINARY, "--allow-uid=0"}, environment,
                                 dir.path("helper" + std::to_string(i) + ".log"));
        }
        testing::eventually([&] { return helpers.front().exited() || helpers.back().exited(); });
        int running = 0;
        for (auto& started : helpers) running += started.exited() ? 0 : 1;
        ASSERT_EQ(running, 1) << "round " << round << "\n" << dir.read("helper0.log") << dir.read("helper1.log");
        // The loser ends at the instance lock, before the winner listens.
        EXPECT_TRUE(testing::eventually([&] { return ctl({"ping"}).exitStatus == 0; })) << "round " << round;
        for (auto& started : helpers) started.stop(SIGTERM);
        ::unlink(socketPath.c_str());
    }
}

TEST_F(HelperInstanceEndToEnd, RefusesAFolderSomeoneElseControls) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a folder to another user";
    std::string theirs = dir.mkdir("theirs");
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
    std::string open = dir.mkdir("open");
    ASSERT_EQ(::chmod(open.c_str(), 01777), 0);
    std::string linked = dir.symlink("linked", dir.mkdir("real"));

    struct Case {
        std::string folder;
        std::string why;
    };
    for (const auto& [folder, why] : std::vector<Case>{{theirs, theirs + " belongs to uid 65534, not to uid 0"},
                                                       {open, open + " may be written by others"},
                                                       {linked, linked + " is not a folder"}}) {
        auto refused = startRefused(folder + "/helper.sock");
        EXPECT_EQ(refused.exitStatus, 1) << folder;
        EXPECT_THAT(refused.err, HasSubstr(why));
        EXPECT_FALSE(std::filesystem::exists(folder + "/helper.sock"));
    }
    // A missing folder is made root's, readable by all, writable by root alone.
    testing::HelperDaemon served(KORVANE_HELPER_BINARY, dir.path("fresh/helper.sock"), dir.path("helper.log"));
    ASSERT_TRUE(served.waitUntilListening()) << served.log();
    struct stat fresh{};
    ASSERT_EQ(::lstat(dir.path("fresh").c_str(), &fresh), 0);
    EXPECT_EQ(fresh.st_uid, 0u);
    EXPECT_EQ(fresh.st_mode & 07777, 0755u);
}

// A socket another user put up hears nothing from a client: the peer check
// comes before the first byte.
TEST_F(HelperInstanceEndToEnd, ClientsSendNothingToAPeerThatIsNotRoot) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve as another user";
    std::string theirs = dir.mkdir("theirs");
    ASSERT_EQ(::chmod(dir.root().c_str(), 0755), 0);
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
    std::string fake = theirs + "/helper.sock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t server = ::fork();
    if (server == 0) {
        // Counts the bytes its one client sends; the exit status says how many (at most 100).
        ::alarm(10);  // a client that never comes fails the test instead of holding it up
        if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0) ::_exit(101);
        auto fd = listenAt(fake, kNobody);
        (void)!::write(ready[1], "x", 1);
        auto client = linux_platform::acceptUnix(fd.get());
        std::size_t total = 0;
        char buffer[256];
        for (ssize_t got; client && (got = ::recv(client->get(), buffer, sizeof buffer, 0)) > 0;) total += got;
        ::_exit(static_cast<int>(std::min<std::size_t>(total, 100)));
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    auto answer = testing::korvanectl(fake, {"throttle", "1234"});
    EXPECT_EQ(answer.exitStatus, 2);
    EXPECT_THAT(answer.err, HasSubstr(fake + " is served by uid 65534, not by root"));
    int status = 0;
    ASSERT_EQ(::waitpid(server, &status, 0), server);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bytes the client sent";
    ::close(ready[0]);
    ::close(ready[1]);
}

// A failure is the helper's message on standard error and exit 1; bad usage
// is 64, a helper that is gone or silent 2.
TEST_F(HelperInstanceEndToEnd, KorvanectlsFailuresUsageAndAGoneHelperHaveTheirOwnExitCodes) {
    {
        auto silent = listenAt(socketPath);  // accepts into the backlog, never answers
        auto began = Clock::now();
        auto waited = ctl({"--timeout", "1", "ping"});
        EXPECT_EQ(waited.exitStatus, 2);
        EXPECT_THAT(waited.err, HasSubstr("no answer from the helper at " + socketPath + " within 1 s"));
        EXPECT_LT(Clock::now() - began, std::chrono::seconds(5));
        ::unlink(socketPath.c_str());
    }
    serve();
    EXPECT_EQ(ctl({"ping"}).out, "alive\n");
    std::string ended = std::to_string(testing::endedPid());
    auto gone = ctl({"throttle", ended});
    EXPECT_EQ(gone.exitStatus, 1);
    EXPECT_EQ(gone.out, "");
    EXPECT_THAT(gone.err, StartsWith("taskpolicy failed for PID " + ended));

    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"throttle"}, {"throttle", "12x"}, {"throttle", "4294967296"}, {"beast", "on"},
             {"fan-mode", "0", "fast"}, {"launch"}, {"--timeout", "0", "ping"}}) {
        auto r = ctl(args);
        EXPECT_EQ(r.exitStatus, 64) << (args.empty() ? "" : args[0]);
        EXPECT_THAT(r.err, HasSubstr("usage: korvanectl"));
    }
    EXPECT_EQ(helper->stop(SIGTERM), 0);
    auto unreachable = ctl({"ping"});
    EXPECT_EQ(unreachable.exitStatus, 2);
    EXPECT_THAT(unreachable.err, StartsWith("korvanectl: "));
}

// The socket file is the first fence: another user cannot even connect.
// With the file opened up, the helper's own check on the peer's uid refuses.
TEST_F(HelperInstanceEndToEnd, OnlyRootAndTheInstallingUserGetIn) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
    ::chmod(dir.root().c_str(), 0755);  // so another user may reach the socket's folder
    serve();
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
    EXPECT_THAT(helper->log(), HasSubstr("KorvaneHelper: Refused connection from uid 65534\n"));
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0) << "the allowed user is still served";
}

}  // namespace
}  // namespace korvane
