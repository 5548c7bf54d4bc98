// The helper and korvanectl as built, with a fixture sysfs tree in which
// CPU 1 is the only efficiency CPU, on real processes: the jail and Beast
// Mode, done in the helper's own process as in production, finding an
// application by its GLib launch variables, and what --release-all may do;
// and a large batch cut short by a kill (or a stop) at varying moments, of
// which the next helper's unthrottle-all must give every thread back exactly
// what it had.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <list>
#include <map>
#include <memory>
#include <thread>

#include "platform/linux/socket/unix_socket.h"
#include "shared/protocol/wire_codec.h"
#include "tests/e2e/served_helper.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using testing::allowedCPUs;
using testing::eventually;

constexpr const char* kAppID = "org.korvane.TestApp";

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
    ASSERT_TRUE(eventually([&] { return !testing::childrenOf(app.pid()).empty(); }));
    pid_t child = testing::childrenOf(app.pid()).front();
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

// The cut-short batches: 150 real processes of two threads each.
constexpr int kProcesses = 150;
constexpr int kThreadsEach = 2;

std::string described(const testing::ThreadView& view) {
    char text[128];
    std::snprintf(text, sizeof text, "cpus %s policy %d/%d nice %d io %d/%d", view.cpus.c_str(), view.policy,
                  view.rtPriority, view.nice, view.ioClass, view.ioLevel);
    return text;
}

// Each thread something of its own to be given back: a nice value, and for
// some a CPU of their own, the batch or a real-time policy or an I/O priority.
void giveOwnState(pid_t tid, int n) {
    sched_param none{}, realTime{.sched_priority = 1 + n % 50};
    if (n % 5 == 0) ::sched_setscheduler(tid, SCHED_BATCH, &none);
    if (n % 5 == 1) ::sched_setscheduler(tid, SCHED_FIFO, &realTime);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), n % 7);
    if (n % 3 == 0) {
        cpu_set_t first;
        CPU_ZERO(&first);
        CPU_SET(0, &first);
        ::sched_setaffinity(tid, sizeof first, &first);
    }
    if (n % 4 == 0) ::syscall(SYS_ioprio_set, 1, tid, (2 << 13) | (n % 8));
}

class CutShortEndToEnd : public testing::ServedHelper {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "changes other processes' scheduling";
        sysfs.intelHybridPair();
        int n = 0;
        for (int i = 0; i < kProcesses; ++i) {
            auto& target = targets.emplace_back(kThreadsEach);
            ASSERT_TRUE(target.ready());
            pids.push_back(target.pid());
            for (pid_t tid : testing::threadsOf(target.pid())) giveOwnState(tid, n++);
        }
        before = views();
    }
    std::map<pid_t, std::string> views() const {
        std::map<pid_t, std::string> all;
        for (pid_t pid : pids) {
            for (pid_t tid : testing::threadsOf(pid)) all[tid] = described(testing::viewOf(tid));
        }
        return all;
    }
    int throttledNow() const {
        int throttled = 0;
        for (pid_t pid : pids) throttled += testing::viewOf(pid).policy == SCHED_IDLE ? 1 : 0;
        return throttled;
    }
    void startHelper() {
        ServedHelper::startHelper({{"KORVANE_SYSFS_ROOT", sysfs.root()}, {"KORVANE_HELPER_RUNTIME_DIR", runtime.root()}});
    }

    testing::CpuSysfs sysfs;
    // The records on a memory file system, as /run is: writing them takes
    // about as long as the changes between them.
    testing::FixtureTree runtime{"/dev/shm"};
    std::list<testing::TargetProcess> targets;
    std::vector<std::int32_t> pids;
    std::map<pid_t, std::string> before;
};

TEST_F(CutShortEndToEnd, AfterAKillAtAnyMomentOfABatchUnthrottleAllGivesEveryThreadBackWhatItHad) {
    // Per signal: SIGTERM lets the batch under way finish.
    std::map<int, std::chrono::microseconds> delays{{SIGKILL, 2000us}, {SIGTERM, 2000us}};
    std::map<int, int> cutShort;
    for (int round = 0; round < 60 && (cutShort[SIGKILL] < 3 || cutShort[SIGTERM] < 3); ++round) {
        startHelper();
        auto client = linux_platform::connectUnix(socketPath);
        ASSERT_TRUE(client);
        ASSERT_TRUE(linux_platform::writeAll(client->get(), wire::encodeRequest(1, msg::ThrottleMultipleProcesses{pids})));
        int signal = round % 2 == 0 ? SIGKILL : SIGTERM;
        auto& delay = delays[signal];
        std::this_thread::sleep_for(delay);
        helper->stop(signal);
        int throttled = throttledNow();
        // Aim at the middle of the batch: later when the kill came before
        // any change, earlier when it came after all of them.
        if (throttled == 0) delay += delay / 2;
        else if (throttled == kProcesses) delay -= delay / 3;
        else ++cutShort[signal];
        std::printf("round %d: %s, %d of %d processes throttled\n", round, signal == SIGKILL ? "SIGKILL" : "SIGTERM",
                    throttled, kProcesses);

        startHelper();
        auto released = ctl({"unthrottle-all"});
        EXPECT_EQ(released.exitStatus, 0) << released.err;
        auto after = views();
        int differing = 0;
        for (const auto& [tid, view] : before) {
            if (after[tid] != view && ++differing <= 3) {
                ADD_FAILURE() << "round " << round << ", thread " << tid << ": had " << view << ", has " << after[tid];
            }
        }
        ASSERT_EQ(differing, 0) << differing << " threads not given back\n" << helper->log();
        helper->stop(SIGTERM);
    }
    // Each signal cut the batch short in its middle, so the rounds mean something.
    EXPECT_GE(cutShort[SIGKILL], 1);
    EXPECT_GE(cutShort[SIGTERM], 1);
}

}  // namespace
}  // namespace korvane
