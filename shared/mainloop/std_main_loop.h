#pragma once
// The production main loop: the thread that calls run() becomes the main
// thread. It sleeps until a task is posted or the next timer is due, so an idle
// program does not wake up at all.
#include <condition_variable>
#include <deque>
#include <mutex>

#include "shared/mainloop/main_loop.h"
#include "shared/mainloop/timer_queue.h"

namespace korvane {

class StdMainLoop final : public MainLoop {
public:
    void post(std::function<void()> task) override;
    TimerId scheduleOnce(Duration delay, std::function<void()> task) override;
    TimerId scheduleRepeating(Duration interval, std::function<void()> task) override;
    void cancel(TimerId id) override;
    TimePoint now() const override;

    // Runs tasks and timers until quit() is called (from any thread, before
    // or during run()). A loop runs once.
    void run();
    void quit();

    // Number of times run() woke up; lets a benchmark check that an idle
    // program sleeps.
    std::uint64_t wakeUps() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    TimerQueue timers_;
    bool quit_ = false;
    std::uint64_t wakeUps_ = 0;
};

}  // namespace korvane
