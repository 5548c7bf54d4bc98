#pragma once
// A lock handed out in the order it was asked for. A thread that takes it
// again at once, as a long batch does between its chunks, goes behind those
// already waiting, so every waiter waits at most one holding per thread ahead.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace korvane {

class TurnLock {
public:
    void lock() {
        std::unique_lock guard(mutex_);
        std::uint64_t ticket = next_++;
        turn_.wait(guard, [&] { return serving_ == ticket; });
    }
    void unlock() {
        {
            std::lock_guard guard(mutex_);
            ++serving_;
        }
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t next_ = 0;
    std::uint64_t serving_ = 0;
};

}  // namespace korvane
