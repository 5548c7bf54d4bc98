#include "app/runtime/sleep.h"

namespace korvane::app {

bool SleepAwaiter::suspendIn(TaskState& task, std::coroutine_handle<> frame) {
    if (task.cancelled()) {
        outcome_ = SleepOutcome::cutShort;
        return false;  // go on without suspending
    }
    auto state = task.shared_from_this();
    MainLoop& loop = task.loop();
    timer_ = loop.scheduleOnce(duration_, [state, frame] {
        state->clearCancelHook();
        state->resume(frame);
    });
    task.setCancelHook([this, state = std::weak_ptr<TaskState>(state), frame, &loop] {
        outcome_ = SleepOutcome::cutShort;
        // Post the resumption first: cancelling the timer drops the reference
        // its callback holds, which must not be the last one.
        loop.post([state = state.lock(), frame] {
            if (state) state->resume(frame);
        });
        loop.cancel(timer_);
    });
    return true;
}

}  // namespace korvane::app
