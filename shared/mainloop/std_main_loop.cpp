#include "shared/mainloop/std_main_loop.h"

namespace korvane {

void StdMainLoop::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

TimerId StdMainLoop::scheduleOnce(Duration delay, std::function<void()> task) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = timers_.add(now() + delay, Duration::zero(), std::move(task));
    }
    wake_.notify_one();
    return id;
}

TimerId StdMainLoop::scheduleRepeating(Duration interval, std::function<void()> task) {
    if (interval <= Duration::zero()) interval = std::chrono::milliseconds(1);
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = timers_.add(now() + interval, interval, std::move(task));
    }
    wake_.notify_one();
    return id;
}

void StdMainLoop::cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.cancel(id);
}

TimePoint StdMainLoop::now() const { return std::chrono::steady_clock::now(); }

void StdMainLoop::run() {
    std::unique_lock lock(mutex_);
    // quit() may come before run() starts (from a signal or a test); it still counts.
    while (!quit_) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (auto task = timers_.popDue(now())) {
            lock.unlock();
            task();
            lock.lock();
            continue;
        }
        if (auto due = timers_.nextDue()) {
            wake_.wait_until(lock, *due);
        } else {
            wake_.wait(lock);
        }
        ++wakeUps_;
    }
}

void StdMainLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
}

std::uint64_t StdMainLoop::wakeUps() const {
    std::lock_guard lock(mutex_);
    return wakeUps_;
}

}  // namespace korvane
