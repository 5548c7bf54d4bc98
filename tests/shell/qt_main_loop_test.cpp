// The main loop on Qt's event loop, in real time with bounded waits: order of
// posted work and timers, work and timers handed in from other threads
// and cancelling.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <atomic>
#include <thread>

#include "app/shell/qt_main_loop.h"

namespace korvane::app {
namespace {

// Runs Qt's event loop until `done()` or 5 s.
template <class F>
bool runUntil(F done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

class QtMainLoopTest : public ::testing::Test {
protected:
    QtMainLoop loop;
    std::vector<std::string> order;
};

TEST_F(QtMainLoopTest, PostedWorkAndTimersRunInOrderOnTheMainThread) {
    const auto mainThread = std::this_thread::get_id();
    loop.scheduleOnce(std::chrono::milliseconds(60), [&] { order.push_back("60ms"); });
    loop.scheduleOnce(std::chrono::milliseconds(20), [&] { order.push_back("20ms"); });
    loop.scheduleOnce(std::chrono::milliseconds(20), [&] { order.push_back("20ms second"); });
    loop.post([&] { order.push_back("posted"); });
    std::atomic<bool> timerFromThreadFired = false;
    std::thread other([&] {
        loop.post([&] {
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            order.push_back("from a thread");
        });
        loop.scheduleOnce(std::chrono::milliseconds(20), [&] { timerFromThreadFired = true; });
    });
    other.join();
    ASSERT_TRUE(runUntil([&] { return order.size() == 5 && timerFromThreadFired; }));
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "from a thread", "20ms", "20ms second", "60ms"}));
}

TEST_F(QtMainLoopTest, RepeatingTimersRepeatAndCancelledOnesStay) {
    int ticks = 0;
    bool cancelledRan = false;
    const TimerId repeating = loop.scheduleRepeating(std::chrono::milliseconds(10), [&] { ++ticks; });
    const TimerId cancelled = loop.scheduleOnce(std::chrono::milliseconds(15), [&] { cancelledRan = true; });
    loop.cancel(cancelled);
    ASSERT_TRUE(runUntil([&] { return ticks >= 3; }));
    loop.cancel(repeating);
    const int stoppedAt = ticks;
    bool later = false;
    loop.scheduleOnce(std::chrono::milliseconds(50), [&] { later = true; });
    ASSERT_TRUE(runUntil([&] { return later; }));
    EXPECT_EQ(ticks, stoppedAt);
    EXPECT_FALSE(cancelledRan);
}

}  // namespace
}  // namespace korvane::app
