#include "testing/virtual_main_loop.h"

namespace korvane {

void VirtualMainLoop::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

TimerId VirtualMainLoop::scheduleOnce(Duration delay, std::function<void()> task) {
    std::lock_guard lock(mutex_);
    return timers_.add(now_ + delay, Duration::zero(), std::move(task));
}

TimerId VirtualMainLoop::scheduleRepeating(Duration interval, std::function<void()> task) {
    std::lock_guard lock(mutex_);
    return timers_.add(now_ + interval, interval, std::move(task));
}

void VirtualMainLoop::cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.cancel(id);
}

TimePoint VirtualMainLoop::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::function<void()> VirtualMainLoop::takeTask() {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return {};
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    return task;
}

int VirtualMainLoop::runPending() {
    int ran = 0;
    while (auto task = takeTask()) {
        task();
        ++ran;
    }
    return ran;
}

void VirtualMainLoop::advanceBy(Duration delta) {
    TimePoint end;
    {
        std::lock_guard lock(mutex_);
        end = now_ + delta;
    }
    runPending();
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            auto due = timers_.nextDue();
            if (!due || *due > end) break;
            if (*due > now_) now_ = *due;
            task = timers_.popDue(now_);
        }
        if (task) task();
        runPending();
    }
    std::lock_guard lock(mutex_);
    now_ = end;
}

bool VirtualMainLoop::runUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds realTimeout) {
    auto deadline = std::chrono::steady_clock::now() + realTimeout;
    for (;;) {
        runPending();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [&] { return !tasks_.empty(); })) {
            lock.unlock();
            runPending();
            return done();
        }
    }
}

bool VirtualMainLoop::hasPendingTimers() const {
    std::lock_guard lock(mutex_);
    return !timers_.empty();
}

}  // namespace korvane
