// The helper and korvanectl as built, with a fixture sysfs tree in which
// CPU 1 is the only efficiency CPU, on real processes: the jail and Beast
// Mode, done in the helper's own process as in production, finding an
// application by its GLib launch variables, and what --release-all may do.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <memory>

#include "tests/e2e/served_helper.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane {
namespace {

using testing::eventually;

constexpr const char* kAppID = "org.korvane.TestApp";

// Cpus_allowed_list of every thread, joined by spaces.
std::string allowedCPUs(pid_t pid) {
    std::string all;
    for (pid_t tid : testing::threadsOf(pid)) all += (all.empty() ? "" : " ") + testing::viewOf(tid).cpus;
    return all;
}

class InProcessEndToEnd : public testing::ServedHelper {
protected:
    void SetUp() override {
        sysfs.intelHybridPair();
        startHelper({{"KORVANE_SYSFS_ROOT", sysfs.root()}, {"XDG_DATA_DIRS", dir.path("data")}});
    }

    testing::CpuSysfs sysfs;
};

// The scans hand the table they read to the batch that follows, which finds
// the application's child there.
TEST_F(InProcessEndToEnd, JailConfinesTheApplicationAndBeastModeEverythingButTheFocus) {
    std::string entry = dir.write(std::string("data/applications/") + kAppID + ".desktop",
                                  "[Desktop Entry]\nType=Application\nName=Test App\nExec=korvane-test-app\n");
    // The shell hands its own pid to the program it becomes, as a GLib launcher does.
    // It keeps a child, which is no application process of its own.
    testing::StartedProgram app(
        {"/bin/sh", "-c", "export GIO_LAUNCHED_DESKTOP_FILE_PID=$$; sleep 300 & exec sleep 301"},
        {{"GIO_LAUNCHED_DESKTOP_FILE", entry}});
    testing::StartedProgram focus({"/bin/sleep", "300"});
    // Until the exec its environment does not name its pid yet.
    std::string comm = "/proc/" + std::to_string(app.pid()) + "/comm";
    ASSERT_TRUE(eventually([&] { return testing::readText(comm) == "sleep\n"; }));
    std::string children = "/proc/" + std::to_string(app.pid()) + "/task/" + std::to_string(app.pid()) + "/children";
    ASSERT_TRUE(eventually([&] { return !testing::readText(children).empty(); }));
    pid_t child = std::stoi(testing::readText(children));
    std::shared_ptr<void> endChild(nullptr, [child](void*) { ::kill(child, SIGKILL); });

    // The scan that follows a list update, well before the first 5-second tick.
    ASSERT_EQ(ctl({"jail", kAppID}).out, "OK\n");
    EXPECT_TRUE(eventually([&] { return allowedCPUs(app.pid()) == "1"; })) << helper->log();
    EXPECT_EQ(allowedCPUs(child), "1");
    EXPECT_EQ(allowedCPUs(focus.pid()), "0-1");

    // Emptying the list stops the jail without releasing; Beast Mode (which
    // spares the focus) ending releases everything.
    ASSERT_EQ(ctl({"jail"}).out, "OK\n");
    EXPECT_EQ(allowedCPUs(app.pid()), "1");
    EXPECT_EQ(ctl({"beast", "on", std::to_string(focus.pid())}).out, "OK\n");
    EXPECT_EQ(allowedCPUs(focus.pid()), "0-1");

    EXPECT_EQ(ctl({"beast", "off"}).out, "OK\n");
    EXPECT_EQ(allowedCPUs(app.pid()), "0-1");
    EXPECT_EQ(allowedCPUs(child), "0-1");
}

// --release-all works from the records of a stopped helper (the install
// script's removal runs it); never while a helper still serves, which
// releases what any of its clients throttled.
TEST_F(InProcessEndToEnd, WhileAHelperServesItAloneReleasesWhatAnyClientThrottled) {
    testing::TargetProcess target(2);
    ASSERT_TRUE(target.ready());
    ASSERT_EQ(ctl({"throttle-many", std::to_string(target.pid())}).out, "OK\n");
    auto refused = testing::runCommand({KORVANE_HELPER_BINARY, "--release-all"},
                                       {{"KORVANE_SYSFS_ROOT", sysfs.root()},
                                        {"KORVANE_HELPER_SOCKET", dir.path("helper.sock")}});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("still serves"), std::string::npos) << refused.err;
    testing::expectBackground(target.pid(), "1");
    // What one client throttled, another releases.
    EXPECT_EQ(ctl({"unthrottle-all"}).out, "OK\n");
    testing::expectNormal(target.pid());
}

}  // namespace
}  // namespace korvane
