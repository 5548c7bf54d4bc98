#pragma once
// The main thread's queue: posted tasks and timers, run one at a time. Both
// programs keep their state on it; other threads only post to it. The clock is
// part of the interface so tests can run minutes of timers in microseconds.
#include <chrono>
#include <cstdint>
#include <functional>

namespace korvane {

using Duration = std::chrono::steady_clock::duration;
using TimePoint = std::chrono::steady_clock::time_point;

inline constexpr Duration seconds(double s) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}

using TimerId = std::uint64_t;

class MainLoop {
public:
    virtual ~MainLoop() = default;

    // Thread-safe. Tasks run on the main thread in the order they were posted.
    virtual void post(std::function<void()> task) = 0;

    // Thread-safe. A one-shot timer fires once after `delay`; a repeating timer
    // every `interval`, the first time one interval from now. Timers due at the
    // same moment fire in the order they were scheduled.
    virtual TimerId scheduleOnce(Duration delay, std::function<void()> task) = 0;
    virtual TimerId scheduleRepeating(Duration interval, std::function<void()> task) = 0;

    // Thread-safe. Cancelling an unknown or already fired timer does nothing.
    virtual void cancel(TimerId id) = 0;

    virtual TimePoint now() const = 0;
};

// Owns one timer and cancels it when it ends, so a timer never outlives the
// object whose state it touches.
class Timer {
public:
    Timer() = default;
    Timer(MainLoop& loop, TimerId id) : loop_(&loop), id_(id) {}
    ~Timer() { cancel(); }
    Timer(Timer&& other) noexcept : loop_(other.loop_), id_(other.id_) { other.loop_ = nullptr; }
    Timer& operator=(Timer&& other) noexcept {
        if (this != &other) {
            cancel();
            loop_ = other.loop_;
            id_ = other.id_;
            other.loop_ = nullptr;
        }
        return *this;
    }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    bool active() const { return loop_ != nullptr; }
    void cancel() {
        if (loop_) loop_->cancel(id_);
        loop_ = nullptr;
    }

    static Timer once(MainLoop& loop, Duration delay, std::function<void()> task) {
        return Timer(loop, loop.scheduleOnce(delay, std::move(task)));
    }
    static Timer repeating(MainLoop& loop, Duration interval, std::function<void()> task) {
        return Timer(loop, loop.scheduleRepeating(interval, std::move(task)));
    }

private:
    MainLoop* loop_ = nullptr;
    TimerId id_ = 0;
};

}  // namespace korvane
