// Published properties and the observation operators, on virtual time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/runtime/published.h"
#include "testing/virtual_main_loop.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using std::chrono::milliseconds;

TEST(Published, EveryAssignmentNotifiesTheHookSeesThePreviousValueAndTokensEndObservation) {
    Published<int> level{1};
    std::vector<std::string> seen;
    level.setChangeHook([&](const int& previous) {
        seen.push_back("hook " + std::to_string(previous) + "->" + std::to_string(level.get()));
    });
    auto kept = level.observe([&](const int& v) { seen.push_back("kept " + std::to_string(v)); });
    {
        auto dropped = level.observe([&](const int& v) { seen.push_back("dropped " + std::to_string(v)); });
        level = 2;
    }
    level = 2;  // unchanged, still announced
    kept.cancel();
    level = 3;
    EXPECT_THAT(seen, ElementsAre("kept 2", "dropped 2", "hook 1->2", "kept 2", "hook 2->2", "hook 2->3"));
}

TEST(Published, AnObserverMayUnsubscribeAnotherOrAssignAgainDuringDelivery) {
    Published<int> level{0};
    std::vector<std::string> seen;
    Subscription second;
    auto first = level.observe([&](const int& v) {
        seen.push_back("first " + std::to_string(v));
        second.cancel();               // the later observer must not be called with a freed callback
        if (v == 1) level = 10;        // nested assignment is delivered in full
    });
    second = level.observe([&](const int& v) { seen.push_back("second " + std::to_string(v)); });
    level = 1;
    EXPECT_THAT(seen, ElementsAre("first 1", "first 10"));
    EXPECT_EQ(level.get(), 10);
}

// How the debounce and the throttle time their deliveries, the status bar's
// tests show through their one user; here what those cannot see.
TEST(Operators, ThrottleDeliversAtMostOncePerIntervalAndTheLatest) {
    VirtualMainLoop loop;
    Subject<int> changes;
    std::vector<std::pair<int, long>> seen;
    auto start = loop.now();
    auto token = changes.publisher().throttleLatest(loop, milliseconds(500)).subscribe([&](const int& v) {
        seen.emplace_back(v, std::chrono::duration_cast<milliseconds>(loop.now() - start).count());
    });
    changes.send(1);  // idle: goes on at once
    loop.advanceBy(milliseconds(100));
    changes.send(2);
    changes.send(3);  // held; only the latest goes on at 500 ms
    loop.advanceBy(milliseconds(600));
    changes.send(4);  // the interval begun at 500 ms is still running
    loop.advanceBy(milliseconds(1000));
    changes.send(5);  // quiet since 1000 ms: at once again
    EXPECT_THAT(seen, ElementsAre(std::pair(1, 0L), std::pair(3, 500L), std::pair(4, 1000L), std::pair(5, 1700L)));
    changes.send(6);
    token.cancel();
    EXPECT_FALSE(loop.hasPendingTimers());

    // Cancelling a debounce that waits leaves no timer behind either.
    auto debounced = changes.publisher().debounce(loop, milliseconds(1000)).subscribe([](const int&) {});
    changes.send(7);
    debounced.cancel();
    EXPECT_FALSE(loop.hasPendingTimers());
}

}  // namespace
}  // namespace korvane::app
