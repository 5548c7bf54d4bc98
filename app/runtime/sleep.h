#pragma once
// A pause inside a task, on the main loop's clock: `co_await sleepFor(seconds(1.2));`.
// With a virtual loop the pause is exactly as long as the test advances the
// clock. Cancelling the task cuts the pause short: it ends at once with
// SleepOutcome::cutShort, and a cancelled task's later pauses do not wait.
#include <coroutine>

#include "app/runtime/task.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

enum class SleepOutcome { elapsed, cutShort };

class SleepAwaiter {
public:
    explicit SleepAwaiter(Duration duration) : duration_(duration) {}

    bool await_ready() const noexcept { return false; }
    template <class P>
    bool await_suspend(std::coroutine_handle<P> frame) {
        return suspendIn(*frame.promise().task, frame);
    }
    SleepOutcome await_resume() const noexcept { return outcome_; }

private:
    bool suspendIn(TaskState& task, std::coroutine_handle<> frame);

    Duration duration_;
    SleepOutcome outcome_ = SleepOutcome::elapsed;
    TimerId timer_ = 0;
};

inline SleepAwaiter sleepFor(Duration duration) { return SleepAwaiter(duration); }

}  // namespace korvane::app
