// The built helper under bad luck and hostile clients: a stop in the middle
// of work, a flood that exhausts its descriptors, and texts that try to forge
// log lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <list>
#include <thread>

#include "platform/linux/socket/unix_socket.h"
#include "shared/protocol/wire_codec.h"
#include "tests/e2e/served_helper.h"
#include "tests/fakes/target_process.h"
#include "tests/hwmon/hwmon_tree.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;
using Clock = std::chrono::steady_clock;

// A connection that never waits: with the helper's backlog full it simply fails.
linux_platform::Fd connectNow(const std::string& path) {
    linux_platform::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) fd.reset();
    return fd;
}

class HelperFaultsEndToEnd : public testing::ServedHelper {
protected:
    // With `spawning`, the helper runs a stand-in tool per pid; else it
    // does the work in its own process, as in production.
    void start(const std::string& binary, testing::Environment extra = {}, bool spawning = true) {
        if (spawning) {
            extra.insert(extra.end(), {{"KORVANE_TASKPOLICY", KORVANE_FAKE_TASKPOLICY},
                                       {"FAKE_TASKPOLICY_LOG", dir.path("tool.log")}});
        }
        extra.emplace_back("KORVANE_SYSFS_ROOT", sysfs.root());
        startHelper(extra, binary);
    }
    // The helper with its service's capability bounding set, NoNewPrivileges
    // and system call filter, as read from the unit.
    std::string underItsUnit() {
        return dir.write("helper-under-unit", std::string("#!/bin/sh\nexec ") + KORVANE_UNIT_SANDBOX + " " +
                                                  KORVANE_HELPER_UNIT + " " + KORVANE_HELPER_BINARY + " \"$@\"\n",
                         0755);
    }

    testing::HwmonTree sysfs;
};

// Whatever the clients do (one waits for a long call, one sends without
// reading), SIGTERM ends the helper within 2 s with its fans back on their curve.
TEST_F(HelperFaultsEndToEnd, SigtermEndsWithinTwoSecondsWhateverClientsDo) {
    sysfs.addDesktopWithNct6775(5);
    start(KORVANE_HELPER_BINARY, {{"FAKE_TASKPOLICY_DELAY", "1"}});
    ASSERT_EQ(ctl({"fan-mode", "0", "manual"}).exitStatus, 0);
    std::list<testing::StartedProgram> sleepers;
    std::vector<std::string> many = {KORVANE_CTL_BINARY, "--socket", socketPath, "throttle-many"};
    for (int i = 0; i < 10; ++i) {
        sleepers.emplace_back(std::vector<std::string>{"/bin/sleep", "60"});
        many.push_back(std::to_string(sleepers.back().pid()));
    }
    testing::StartedProgram busy(many);  // ten seconds of work
    auto greedy = linux_platform::connectUnix(socketPath);
    ASSERT_TRUE(greedy);
    std::string pings;
    for (std::uint64_t id = 1; id <= 5000; ++id) pings += wire::encodeRequest(id, msg::Ping{});
    linux_platform::writeAll(greedy->get(), pings);
    testing::eventually([&] { return !dir.read("tool.log").empty(); });
    ASSERT_FALSE(dir.read("tool.log").empty()) << "the long call has begun";

    auto began = Clock::now();
    EXPECT_EQ(helper->stop(SIGTERM), 0);
    EXPECT_LT(Clock::now() - began, 2s);
    EXPECT_EQ(sysfs.get("hwmon4/pwm1_enable"), "5");
}

// Without a service manager the helper keeps its own log: private (even a
// file an earlier installation left readable), and kept to about 1 MiB plus
// one older file however much it has to say.
TEST_F(HelperFaultsEndToEnd, ItsOwnLogIsPrivateAndCapped) {
    std::string log = dir.write("own.log", "left by an earlier installation\n", 0644);
    start(dir.write("helper-with-log",
                    std::string("#!/bin/sh\nexec ") + KORVANE_HELPER_BINARY + " \"$@\" --log=" + log + "\n", 0755),
          {}, false);
    // A line for each pid that names no process: some 3 MiB in all.
    std::vector<std::int32_t> nobody;
    for (std::int32_t pid = 5'000'000; pid < 5'030'000; ++pid) nobody.push_back(pid);
    auto client = linux_platform::connectUnix(socketPath);
    ASSERT_TRUE(client);
    ASSERT_TRUE(linux_platform::writeAll(client->get(), wire::encodeRequest(1, msg::ThrottleMultipleProcesses{nobody})));
    ASSERT_EQ(linux_platform::readFrame(client->get()).status, linux_platform::ReadStatus::Frame);
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0);
    for (const auto& file : {log, log + ".1"}) {
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
        EXPECT_LE(info.st_size, 1 << 20) << file;
    }
    EXPECT_FALSE(std::filesystem::exists(log + ".2"));
    EXPECT_THAT(dir.read("own.log"), HasSubstr("taskpolicy failed for PID 5029999"));
}

// Under a descriptor limit, a flood of connections that are all closed again
// leaves the helper serving within a second.
TEST_F(HelperFaultsEndToEnd, AfterADescriptorFloodAPingIsAnsweredWithinASecond) {
#ifdef __SANITIZE_ADDRESS__
    // The helper built with the sanitizers needs free descriptors for their
    // own checks, which a limit of 24 does not leave.
    GTEST_SKIP() << "needs free descriptors for the sanitizers";
#endif
    std::string limited = dir.write("limited-helper", std::string("#!/bin/sh\nexec /usr/bin/prlimit --nofile=24 ") +
                                                         KORVANE_HELPER_BINARY + " \"$@\"\n",
                                    0755);
    start(limited);
    std::vector<linux_platform::Fd> flood;
    for (int i = 0; i < 200; ++i) {
        auto fd = connectNow(socketPath);
        if (fd.valid()) flood.push_back(std::move(fd));
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_THAT(helper->log(), HasSubstr("Accepting connections failed — accept: Too many open files"));
    flood.clear();

    auto began = Clock::now();
    auto ping = ctl({"--timeout", "5", "ping"});
    EXPECT_EQ(ping.exitStatus, 0) << ping.err;
    EXPECT_LT(Clock::now() - began, 1s);
}

// The unit's capabilities are enough for the helper to hand its socket to
// the user it serves before it listens.
TEST_F(HelperFaultsEndToEnd, UnderItsUnitTheHelperServesAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "the unit's capabilities are root's";
    testing::StartedProgram underUnit({KORVANE_UNIT_SANDBOX, KORVANE_HELPER_UNIT, KORVANE_HELPER_BINARY, "--allow-uid=1000"},
                                      {{"KORVANE_HELPER_SOCKET", socketPath}, {"KORVANE_SYSFS_ROOT", sysfs.root()}},
                                      dir.path("helper.log"));
    EXPECT_TRUE(testing::eventually([&] { return ctl({"ping"}).exitStatus == 0; }, 20s)) << dir.read("helper.log");
}

// A method name and an application ID with a newline in them stay inside
// their own log line.
TEST_F(HelperFaultsEndToEnd, TextsFromClientsCannotForgeLogLines) {
    start(KORVANE_HELPER_BINARY);
    std::string unknown = wire::encodeRequest(1, msg::Ping{});
    unknown.replace(unknown.find("ping"), 4, "p\nKo");
    auto fd = linux_platform::connectUnix(socketPath);
    ASSERT_TRUE(fd);
    linux_platform::writeAll(fd->get(), unknown);
    EXPECT_EQ(linux_platform::readFrame(fd->get()).status, linux_platform::ReadStatus::Closed);
    const std::string forged = "KorvaneHelper: PID 1 successfully throttled";
    EXPECT_EQ(ctl({"jail", "org.example.App\n" + forged}).exitStatus, 0);
    EXPECT_EQ(ctl({"ping"}).exitStatus, 0);

    EXPECT_THAT(helper->log(), Not(HasSubstr("\n" + forged + "\n")));
    EXPECT_THAT(helper->log(), HasSubstr("unknown method 'p\\nKoWithReply:'"));
    EXPECT_THAT(helper->log(), HasSubstr("\"org.example.App\\n" + forged + "\""));
}

// Until its last exec a program started through setpriv is setpriv (or env,
// or unshare) with other executables and other rights.
void waitUntilRunning(pid_t pid, const std::string& comm) {
    auto running = [&] {
        std::string name;
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), name);
        return name == comm;
    };
    ASSERT_TRUE(testing::eventually(running)) << pid << " never ran " << comm;
}

const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

// The reproduction of a user who may not even connect: a link in their data
// folder to a file only root may read. The helper reads that folder with the
// user's rights, so the file does not exist for it; the user's own entry
// still counts, with no more than the helper's service allows it. The
// process runs a setuid program, so its /proc folder is
// root's: the user is known by the ids the process has.
TEST_F(HelperFaultsEndToEnd, AUsersDataFolderIsReadWithThatUsersRights) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
    ASSERT_EQ(::chmod(dir.root().c_str(), 0755), 0);
    std::string program = dir.path("suid-sleep");
    std::filesystem::copy_file("/bin/sleep", program);
    ASSERT_EQ(::chmod(program.c_str(), 04755), 0);
    dir.write("secret.desktop", "[Desktop Entry]\nType=Application\nName=Secret\nExec=" + program + "\n", 0600);
    std::string home = dir.mkdir("home");
    dir.symlink("home/applications/a.desktop", dir.path("secret.desktop"));
    dir.write("home/applications/b.desktop", "[Desktop Entry]\nType=Application\nName=Own\nExec=" + program + "\n");
    for (const char* path : {"home", "home/applications", "home/applications/b.desktop"}) {
        ASSERT_EQ(::lchown(dir.path(path).c_str(), 65534, 65534), 0);
    }
    start(underItsUnit(), {{"XDG_DATA_DIRS", dir.mkdir("system")}});
    auto argv = kAsNobody;
    argv.insert(argv.end(), {"/usr/bin/env", "XDG_DATA_HOME=" + home, program, "60"});
    testing::StartedProgram theirs(argv);
    waitUntilRunning(theirs.pid(), "suid-sleep");
    ASSERT_EQ(ctl({"jail", "a", "b"}).exitStatus, 0);
    std::string throttledAsB = "KorvaneHelper: Auto-throttling jailed app: b (PID: " + std::to_string(theirs.pid()) + ")";
    testing::eventually([&] { return helper->log().find(throttledAsB) != std::string::npos; });
    EXPECT_THAT(helper->log(), HasSubstr(throttledAsB));
    EXPECT_THAT(helper->log(), Not(HasSubstr("Auto-throttling jailed app: a ")));
    EXPECT_THAT(helper->log(), Not(HasSubstr("Secret")));
}

// A sandbox's information file lies in the process's root, which its owner
// chooses: in a chroot made in a user namespace, it may be a link or a bind
// mount to a file only root may read, or to a kernel file (one whose content
// they control here). None of those names an application; an ordinary file
// of their own still does, under the helper's service.
TEST_F(HelperFaultsEndToEnd, ASandboxFileCountsOnlyAsAnOrdinaryFileItsOwnerMayRead) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
    ASSERT_EQ(::chmod(dir.root().c_str(), 0755), 0);
    std::string secret = dir.write("secret", "[Application]\nname=org.example.Secret\n", 0600);
    start(underItsUnit());
    struct Sandbox {
        std::string name;
        std::string makeInfo;  // shell words run as root of the namespace, with $R the chroot
        std::string argument = "-";
    };
    const std::vector<Sandbox> sandboxes = {
        {"link", "ln -s " + secret + " $R/.flatpak-info"},
        {"bind", "touch $R/.flatpak-info && mount --bind " + secret + " $R/.flatpak-info"},
        {"proc", "touch $R/.flatpak-info && mount --bind /proc/$$/cmdline $R/.flatpak-info",
         "\n[Application]\nname=org.example.Proc\n"},
        {"own", "printf '[Application]\\nname=org.example.Own\\n' > $R/.flatpak-info"},
    };
    std::list<testing::StartedProgram> attackers;
    for (const auto& sandbox : sandboxes) {
        std::string root = dir.mkdir("roots/" + sandbox.name);
        std::filesystem::copy_file(KORVANE_CHROOT_SLEEPER, root + "/sleeper");
        ASSERT_EQ(::chown(root.c_str(), 65534, 65534), 0);
        auto argv = kAsNobody;
        argv.insert(argv.end(), {"/usr/bin/unshare", "-Urm", "/bin/sh", "-c",
                                 "R=$0; " + sandbox.makeInfo + " && exec /usr/sbin/chroot $R /sleeper \"$1\"",
                                 root, sandbox.argument});
        attackers.emplace_back(argv, testing::Environment{}, dir.path(sandbox.name + ".err"));
        waitUntilRunning(attackers.back().pid(), "sleeper");
    }
    ASSERT_EQ(ctl({"jail", "org.example.Secret", "org.example.Proc", "org.example.Own"}).exitStatus, 0);
    std::string own = "Auto-throttling jailed app: org.example.Own (PID: " + std::to_string(attackers.back().pid()) + ")";
    testing::eventually([&] { return helper->log().find(own) != std::string::npos; });
    EXPECT_THAT(helper->log(), HasSubstr(own));
    EXPECT_THAT(helper->log(), Not(HasSubstr("org.example.Secret (PID")));
    EXPECT_THAT(helper->log(), Not(HasSubstr("org.example.Proc (PID")));
    EXPECT_THAT(helper->log(), Not(HasSubstr("→ org.example.Secret")));
}

}  // namespace
}  // namespace korvane
