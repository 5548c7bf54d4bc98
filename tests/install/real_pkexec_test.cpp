// One installation through the real pkexec: a system bus and polkitd of the
// test's own (root is always authorized), the helper started without systemd
// into a private root, answering, then removed.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>

#include "tests/fakes/started_program.h"
#include "tests/install/installed_root.h"

namespace korvane::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kPkexec = "/usr/bin/pkexec";
constexpr const char* kPolkitd = "/usr/lib/polkit-1/polkitd";
constexpr const char* kBusDaemon = "/usr/bin/dbus-daemon";
constexpr const char* kBusSend = "/usr/bin/dbus-send";

// pkexec only looks for the system bus at its standard address, so the test
// mounts a folder of its own over /run/dbus in a private mount namespace; its
// bus (KORVANE_PRIVATE_BUS_CONFIG) listens there and lets everyone in.
std::optional<std::string> privateSystemBusFolder(const testing::FixtureTree& tree) {
    std::string folder = tree.mkdir("dbus");
    std::error_code ignored;
    fs::create_directories("/run/dbus", ignored);
    if (::unshare(CLONE_NEWNS) != 0) return std::nullopt;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return std::nullopt;
    if (::mount(folder.c_str(), "/run/dbus", nullptr, MS_BIND, nullptr) != 0) return std::nullopt;
    return folder;
}

// Started with nothing of the test's output, so a test that dies cannot leave
// them holding its pipe, and ended with the test if it dies.
std::vector<std::string> detached(std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--pdeathsig", "KILL", "--", "/bin/sh", "-c",
                               "exec \"$0\" \"$@\" > /dev/null"});
    return argv;
}

bool polkitOnBus() {
    auto result = testing::runCommand({kBusSend, "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                                       "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                       "string:org.freedesktop.PolicyKit1"});
    return result.exitStatus == 0 && result.out.find("boolean true") != std::string::npos;
}

TEST(RealPkexec, InstallsTheHelperWhichAnswersThenRemovesIt) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root for the mount namespace and the installation";
    for (const char* program : {kPkexec, kPolkitd, kBusDaemon, kBusSend}) {
        if (!fs::exists(program)) GTEST_SKIP() << program << " is not installed";
    }
    // Before any thread exists: unshare refuses a threaded process.
    testing::InstalledRoot root;
    auto busFolder = privateSystemBusFolder(root.tree);
    if (!busFolder) GTEST_SKIP() << "no private mount namespace here";

    testing::StartedProgram bus(
        detached({kBusDaemon, "--config-file=" KORVANE_PRIVATE_BUS_CONFIG, "--nofork", "--nopidfile"}), {},
                                root.tree.path("bus.log"));
    ASSERT_TRUE(testing::eventually([] { return fs::exists("/run/dbus/system_bus_socket"); }, 10s)) << "no bus";
    // polkitd drops to its own user, which clears the death signal; it ends
    // with the bus instead.
    testing::StartedProgram polkitd(detached({kPolkitd, "--no-debug"}), {}, root.tree.path("polkitd.log"));
    ASSERT_TRUE(testing::eventually(polkitOnBus, 15s)) << "polkitd did not come up";

    testing::InstallingClient client(root, {.privilegeRunner = kPkexec,
                                            .sourceExecutable = root.shipHelper(),
                                            .installScript = KORVANE_INSTALL_SCRIPT,
                                            .allowedUid = ::getuid(),
                                            .systemdRunning = false});
    XPCManager& xpc = client.xpc;
    EXPECT_FALSE(xpc.helperInstalled.get());
    ASSERT_TRUE(client.install());
    EXPECT_EQ(xpc.lastError.get(), std::nullopt);
    EXPECT_TRUE(xpc.helperActive.get()) << testing::readText(root.files.logFile());
    EXPECT_TRUE(root.helperRunning());
    pid_t helper = root.helperPid();

    xpc.removeHelper();
    EXPECT_FALSE(fs::exists(root.files.tool()) || fs::exists(root.files.unit()));
    EXPECT_NE(testing::firstWordOf(helper), root.files.tool());

    polkitd.stop(SIGTERM);
    bus.stop(SIGTERM);
}

}  // namespace
}  // namespace korvane::app
