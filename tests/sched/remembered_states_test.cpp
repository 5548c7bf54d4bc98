// The memory of what threads had: pid reuse and growth.
#include <gtest/gtest.h>

#include "platform/linux/sched/remembered_states.h"

namespace korvane::linux_platform {
namespace {

RememberedProcess processWith(std::uint64_t startTime, pid_t tid, std::int32_t nice) {
    RememberedProcess process;
    process.startTime = startTime;
    process.threads[tid].attributes.nice = nice;
    return process;
}

TEST(RememberedStatesTest, KeepsFirstStateAndNeverHandsAnEarlierProcessToANewOne) {
    RememberedStates memory;
    memory.remember(100, processWith(7, 100, 5));
    memory.remember(100, processWith(7, 100, 0));  // a second request sees the changed state
    memory.remember(100, processWith(7, 101, 3));
    ASSERT_NE(memory.find(100, 7), nullptr);
    EXPECT_EQ(memory.find(100, 7)->threads.at(100).attributes.nice, 5);
    EXPECT_EQ(memory.find(100, 7)->threads.at(101).attributes.nice, 3);

    // Pid 100 now belongs to a process started later.
    EXPECT_EQ(memory.find(100, 9), nullptr);
    EXPECT_FALSE(memory.contains(100));
    memory.remember(100, processWith(9, 100, 1));
    memory.remember(100, processWith(11, 100, 2));
    EXPECT_EQ(memory.find(100, 11)->threads.at(100).attributes.nice, 2);
}

TEST(RememberedStatesTest, SweepsEndedProcessesOnceTheStoreHasGrown) {
    RememberedStates memory;
    auto onlyEvenPidsRun = [](pid_t pid) -> std::optional<std::uint64_t> {
        return pid % 2 == 0 ? std::optional<std::uint64_t>(1) : std::nullopt;
    };
    for (pid_t pid = 1; pid < 64; ++pid) memory.remember(pid, processWith(1, pid, 0));
    memory.sweepIfGrown(onlyEvenPidsRun);
    EXPECT_EQ(memory.size(), 63u);  // not grown enough yet
    memory.remember(64, processWith(1, 64, 0));
    memory.sweepIfGrown(onlyEvenPidsRun);
    EXPECT_EQ(memory.size(), 32u);
    EXPECT_TRUE(memory.contains(64));
    EXPECT_FALSE(memory.contains(63));
}

}  // namespace
}  // namespace korvane::linux_platform
