#pragma once
// Tasks: the top of a chain of Async operations, started on the main loop.
//
//   TaskHandle h = spawn(loop, [this]() -> Async<> { co_await xpc.pingHelper(); ... });
//
// spawn() posts the start to the main loop and returns at once. The task runs
// on the main thread until its first suspension; every resumption is a main
// loop task of its own. A task is kept alive by whatever will resume it (a
// timer, a pending reply); when nothing can resume it any more (the loop or
// the reply's owner is gone) it is destroyed without being resumed.
//
// Cancelling a task cuts its current and later sleeps short (sleep.h); it does
// not interrupt helper calls, which always end with a reply or an error.
#include <coroutine>
#include <functional>
#include <memory>

#include "app/runtime/async.h"
#include "app/runtime/lifeline.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class TaskState : public std::enable_shared_from_this<TaskState> {
public:
    TaskState(MainLoop& loop, std::function<Async<>()> body, std::shared_ptr<Lifeline> owner);
    ~TaskState();
    TaskState(const TaskState&) = delete;
    TaskState& operator=(const TaskState&) = delete;

    MainLoop& loop() const { return loop_; }

    // Main thread. Runs the body up to its first suspension.
    void start();
    // Main thread. Continues the frame `frame` of this task. Does nothing once
    // the task has ended or its owner's lifeline has closed.
    void resume(std::coroutine_handle<> frame);

    bool finished() const { return finished_; }
    bool cancelled() const { return cancelled_; }
    void cancel();

    // Set by a suspension that cancellation can cut short (a sleep).
    void setCancelHook(std::function<void()> hook) { cancelHook_ = std::move(hook); }
    void clearCancelHook() { cancelHook_ = nullptr; }

private:
    void finish();

    MainLoop& loop_;
    std::function<Async<>()> body_;  // kept so a lambda body's captures live as long as the task
    std::shared_ptr<Lifeline> owner_;
    std::optional<Async<>> root_;
    std::function<void()> cancelHook_;
    bool finished_ = false;
    bool cancelled_ = false;
};

// Refers to a task without keeping it alive. Main thread only.
class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::weak_ptr<TaskState> state) : state_(std::move(state)) {}

    // True once the task has ended, or was dropped because it could never be resumed.
    bool done() const;
    // Cuts the task's sleeps short; a no-op for an ended task.
    void cancel() const;

private:
    std::weak_ptr<TaskState> state_;
};

TaskHandle spawn(MainLoop& loop, std::function<Async<>()> body);

// A task that stops for good, unresumed, once `owner` closes.
TaskHandle spawn(const std::shared_ptr<Lifeline>& owner, std::function<Async<>()> body);

}  // namespace korvane::app
