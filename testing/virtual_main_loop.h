#pragma once
// A main loop on a virtual clock for tests. Nothing runs until the test says
// so: advanceBy() moves the clock forward, running every posted task and every
// timer that falls due on the way, in time order, so a 15-second poll or a
// 5-second delay is exact and takes no real time. Other threads may post; the
// waitFor* calls let a test wait for work that real sockets hand back.
#include <condition_variable>
#include <deque>
#include <mutex>

#include "shared/mainloop/main_loop.h"
#include "shared/mainloop/timer_queue.h"

namespace korvane {

class VirtualMainLoop final : public MainLoop {
public:
    void post(std::function<void()> task) override;
    TimerId scheduleOnce(Duration delay, std::function<void()> task) override;
    TimerId scheduleRepeating(Duration interval, std::function<void()> task) override;
    void cancel(TimerId id) override;
    TimePoint now() const override;

    // Runs posted tasks (and tasks they post) until none is left. Returns how
    // many ran. Does not move the clock.
    int runPending();

    // Moves the clock forward by `delta`, running due timers at their due
    // times and posted tasks between them.
    void advanceBy(Duration delta);

    // Runs posted tasks, waiting up to `realTimeout` of real time for other
    // threads to post more, until `done()` is true. Returns done().
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds realTimeout = std::chrono::seconds(10));

    bool hasPendingTimers() const;

private:
    std::function<void()> takeTask();

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    TimerQueue timers_;
    TimePoint now_{};
};

}  // namespace korvane
