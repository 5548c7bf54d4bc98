// Tasks, sleeps and completions on the main loop: where work resumes, in what
// order, and what happens when nothing can resume it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/runtime/completion.h"
#include "app/runtime/sleep.h"
#include "app/runtime/task.h"
#include "testing/virtual_main_loop.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using std::chrono::milliseconds;

long msSince(VirtualMainLoop& loop, TimePoint start) {
    return std::chrono::duration_cast<milliseconds>(loop.now() - start).count();
}

Async<int> twice(int value) {
    co_await sleepFor(milliseconds(10));
    co_return value * 2;
}

TEST(Task, StartsOnTheLoopAndInterleavesWithOtherWorkAtEveryAwait) {
    VirtualMainLoop loop;
    std::vector<std::string> events;
    auto start = loop.now();
    auto handle = spawn(loop, [&]() -> Async<> {
        events.push_back("task begins");
        int v = co_await twice(21);
        events.push_back("got " + std::to_string(v) + " at " + std::to_string(msSince(loop, start)));
    });
    events.push_back("spawn returned");
    loop.post([&] { events.push_back("posted after spawn"); });
    loop.runPending();
    loop.post([&] { events.push_back("posted while suspended"); });
    loop.advanceBy(milliseconds(10));
    EXPECT_THAT(events, ElementsAre("spawn returned", "task begins", "posted after spawn", "posted while suspended",
                                    "got 42 at 10"));
    EXPECT_TRUE(handle.done());
}

TEST(Task, CancellingCutsTheCurrentPauseShortAndLaterPausesDoNotWait) {
    VirtualMainLoop loop;
    std::vector<std::string> events;
    auto start = loop.now();
    auto handle = spawn(loop, [&]() -> Async<> {
        for (int i = 0; i < 3; ++i) {
            SleepOutcome outcome = co_await sleepFor(milliseconds(1000));
            events.push_back(std::string(outcome == SleepOutcome::elapsed ? "elapsed" : "cut short") + " at " +
                             std::to_string(msSince(loop, start)));
        }
    });
    loop.advanceBy(milliseconds(1000));
    loop.advanceBy(milliseconds(300));
    handle.cancel();
    loop.runPending();
    EXPECT_THAT(events, ElementsAre("elapsed at 1000", "cut short at 1300", "cut short at 1300"));
    EXPECT_TRUE(handle.done());
    EXPECT_FALSE(loop.hasPendingTimers());
}

TEST(Completion, ResolvedOnAnotherThreadResumesOnTheMainThreadAfterWhatWasPostedFirst) {
    VirtualMainLoop loop;
    std::vector<std::string> events;
    std::thread worker;
    std::thread::id resumedOn;
    auto handle = spawn(loop, [&]() -> Async<> {
        int v = co_await awaitCompletion<int>([&](Resolver<int> resolve) {
            worker = std::thread([&loop, &events, resolve] {
                loop.post([&events] { events.push_back("state update"); });
                resolve(7);
                resolve(8);  // a second completion is ignored
            });
        });
        resumedOn = std::this_thread::get_id();
        events.push_back("resumed with " + std::to_string(v));
    });
    ASSERT_TRUE(loop.runUntil([&] { return handle.done(); }));
    worker.join();
    loop.runPending();
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
    EXPECT_THAT(events, ElementsAre("state update", "resumed with 7"));
}

// A frame left behind would be reported by the leak checker of the sanitizer run.
TEST(Completion, ATaskNothingCanResumeIsDestroyedNotLeaked) {
    VirtualMainLoop loop;
    bool resumed = false;
    auto handle = spawn(loop, [&]() -> Async<> {
        co_await awaitCompletion<int>([](Resolver<int>) { /* dropped: the answer never comes */ });
        resumed = true;
    });
    loop.runPending();
    EXPECT_TRUE(handle.done());
    EXPECT_FALSE(resumed);
}

TEST(Lifeline, ClosingStopsPostsAndTasksOfTheOwner) {
    VirtualMainLoop loop;
    auto lifeline = Lifeline::make(loop);
    int ran = 0;
    bool resumed = false;
    spawn(lifeline, [&]() -> Async<> {
        co_await sleepFor(milliseconds(100));
        resumed = true;
    });
    loop.runPending();
    lifeline->post([&] { ++ran; });
    lifeline->close();             // the owner ends: the post above and the sleeping task go with it
    lifeline->post([&] { ++ran; });
    loop.advanceBy(milliseconds(200));
    EXPECT_EQ(ran, 0);
    EXPECT_FALSE(resumed);
}

}  // namespace
}  // namespace korvane::app
