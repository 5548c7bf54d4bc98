// A large batch cut short: the real helper, doing the work in its own
// process, killed (or stopped) at varying moments of a throttle-many of many
// real processes. Whatever it had changed is on record, so the next helper's
// unthrottle-all gives every thread exactly what it had.
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
#include <thread>

#include "platform/linux/socket/unix_socket.h"
#include "shared/protocol/wire_codec.h"
#include "tests/e2e/served_helper.h"
#include "tests/fakes/target_process.h"
#include "tests/topology/cpu_sysfs.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;

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
