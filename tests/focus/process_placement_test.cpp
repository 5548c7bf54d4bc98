// Where /proc says a process may run: its threads' policy and allowed CPUs.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/linux/proc/proc_process_placement.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::linux_platform {
namespace {

// A stat line whose 41st field is `policy`; the name holds a ") " to trip a
// naive split.
std::string statLine(int policy) {
    std::string line = "7 (odd) name) S 1";
    for (int field = 5; field <= 52; ++field) line += " " + std::to_string(field == 41 ? policy : 0);
    return line + "\n";
}

std::string statusWith(const std::string& cpus) {
    return "Name:\tx\nState:\tS (sleeping)\nCpus_allowed:\tff\nCpus_allowed_list:\t" + cpus + "\nvoluntary: 1\n";
}

TEST(ProcProcessPlacementTest, ConfinedOnlyWhenEveryThreadIsIdleOrOnTheEfficiencyCores) {
    struct Thread {
        int policy;
        std::string cpus;
    };
    struct Case {
        const char* what;
        std::vector<Thread> threads;
        bool hybrid;
        bool confined;
    };
    const Case cases[] = {
        {"all idle", {{SCHED_IDLE, "0-7"}, {SCHED_IDLE, "0-7"}}, true, true},
        {"one thread left normal", {{SCHED_IDLE, "0-7"}, {SCHED_OTHER, "0-7"}}, true, false},
        {"normal but on the efficiency cores", {{SCHED_OTHER, "4-7"}, {SCHED_OTHER, "6"}}, true, true},
        {"one thread may use a performance core", {{SCHED_OTHER, "4-7"}, {SCHED_OTHER, "3-7"}}, true, false},
        {"one kind of core: the CPUs say nothing", {{SCHED_OTHER, "4-7"}}, false, false},
        {"no threads to read", {}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::FixtureTree proc;
        proc.write("7/status", statusWith("0-7"));
        for (std::size_t i = 0; i < c.threads.size(); ++i) {
            const std::string task = "7/task/" + std::to_string(7 + i);
            proc.write(task + "/stat", statLine(c.threads[i].policy));
            proc.write(task + "/status", statusWith(c.threads[i].cpus));
        }
        ProcProcessPlacement placement(proc.root(), c.hybrid ? CpuList{4, 5, 6, 7} : CpuList{});
        EXPECT_EQ(placement.confinedToBackground(7), c.confined);
    }
}

// The real /proc, for a process of ours that put itself under the idle
// policy, as the helper would, and one that did not.
TEST(ProcProcessPlacementTest, ReadsTheRealProcForAnotherProcess) {
    auto child = [](bool idle) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            sched_param none{};
            if (idle) ::sched_setscheduler(0, SCHED_IDLE, &none);
            ::pause();
            ::_exit(0);
        }
        return pid;
    };
    const pid_t idle = child(true);
    const pid_t normal = child(false);
    ASSERT_GT(idle, 0);
    ASSERT_GT(normal, 0);
    ProcProcessPlacement placement("/proc", {});
    // The child sets its policy after the fork; wait (bounded) until it has.
    bool confined = false;
    for (int i = 0; i < 200 && !confined; ++i) {
        confined = placement.confinedToBackground(idle);
        if (!confined) ::usleep(10000);
    }
    EXPECT_TRUE(confined);
    EXPECT_FALSE(placement.confinedToBackground(normal));
    for (pid_t pid : {idle, normal}) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

}  // namespace
}  // namespace korvane::linux_platform
