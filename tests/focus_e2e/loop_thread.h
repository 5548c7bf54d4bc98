#pragma once
// The production main loop on a thread of its own, for tests and benchmarks
// that need real time to pass (the X server, the helper and the 5-second
// Beast Mode delay all live in it). The test's own thread reaches the loop's
// state only through call(), which runs a function on the loop and waits for
// its result.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>

#include "shared/mainloop/std_main_loop.h"

namespace korvane::testing {

class LoopThread {
public:
    LoopThread() : thread_([this] { loop_.run(); }) {}
    ~LoopThread() {
        loop_.quit();
        thread_.join();
    }
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;

    MainLoop& loop() { return loop_; }

    // Runs `work` on the loop and hands back what it returns. A loop that does
    // not get to it within `limit` is stuck: that throws, so the test fails
    // instead of hanging.
    template <class F>
    auto call(F work, std::chrono::milliseconds limit = std::chrono::seconds(10)) -> std::invoke_result_t<F&> {
        using Result = std::invoke_result_t<F&>;
        using Stored = std::conditional_t<std::is_void_v<Result>, bool, Result>;
        struct State {
            std::mutex mutex;
            std::condition_variable done;
            std::optional<Stored> result;
        };
        auto state = std::make_shared<State>();
        loop_.post([state, work = std::move(work)]() mutable {
            std::optional<Stored> value;
            if constexpr (std::is_void_v<Result>) {
                work();
                value = true;
            } else {
                value = work();
            }
            std::lock_guard lock(state->mutex);
            state->result = std::move(value);
            state->done.notify_all();
        });
        std::unique_lock lock(state->mutex);
        if (!state->done.wait_for(lock, limit, [&] { return state->result.has_value(); })) {
            throw std::runtime_error("the main loop did not answer in time");
        }
        if constexpr (!std::is_void_v<Result>) return std::move(*state->result);
    }

private:
    StdMainLoop loop_;
    std::thread thread_;
};

}  // namespace korvane::testing
