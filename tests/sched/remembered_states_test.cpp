// The memory of what threads had: pid reuse, held descriptors, growth.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/sched/remembered_states.h"

namespace korvane::linux_platform {
namespace {

RememberedProcess startedAt(std::uint64_t startTime, pid_t tid, std::int32_t nice) {
    RememberedProcess process{ProcessReference::startedAt(startTime), {}};
    process.threads[tid].attributes.nice = nice;
    return process;
}

TEST(RememberedStatesTest, NeverHandsAnEarlierProcessToANewOne) {
    RememberedStates memory;
    std::uint64_t runningSince = 7;
    StartTimeLookup now = [&](pid_t) { return std::optional(runningSince); };
    memory.remember(100, startedAt(7, 100, 5), now);
    EXPECT_EQ(memory.find(100, now)->threads.at(100).attributes.nice, 5);

    runningSince = 9;  // pid 100 now belongs to a process started later
    EXPECT_EQ(memory.find(100, now), nullptr);
    EXPECT_FALSE(memory.contains(100));
}

TEST(RememberedStatesTest, AHeldPidfdTellsWhenItsProcessHasEnded) {
    pid_t child = ::fork();
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    RememberedStates memory;
    StartTimeLookup unused = [](pid_t) { return std::optional<std::uint64_t>(); };
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0U));
    memory.remember(child, RememberedProcess{ProcessReference::holding(pidfd, 0), {}}, unused);
    EXPECT_NE(memory.find(child, unused), nullptr);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(memory.find(child, unused), nullptr);
}

TEST(RememberedStatesTest, SweepsEndedProcessesOnceTheStoreHasGrown) {
    RememberedStates memory;
    StartTimeLookup evenPidsRun = [](pid_t pid) { return pid % 2 == 0 ? std::optional<std::uint64_t>(1) : std::nullopt; };
    for (pid_t pid = 1; pid < 64; ++pid) memory.remember(pid, startedAt(1, pid, 0), evenPidsRun);
    memory.sweepIfGrown(evenPidsRun);
    EXPECT_EQ(memory.size(), 63u);  // not grown enough yet
    memory.remember(64, startedAt(1, 64, 0), evenPidsRun);
    memory.sweepIfGrown(evenPidsRun);
    EXPECT_EQ(memory.size(), 32u);
}

}  // namespace
}  // namespace korvane::linux_platform
