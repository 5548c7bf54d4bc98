#pragma once
// Awaiting work that finishes on another thread:
//
//   bool ok = co_await awaitCompletion<bool>([&](Resolver<bool> done) {
//       connection->send(call, [done](auto reply) { done(reply.success); });
//   });
//
// The start function runs on the main thread inside the awaiting task. The
// Resolver may be called on any thread, at most once counts (later calls are
// ignored); the task then resumes on the main thread as a new main-loop task,
// after whatever was posted to the loop before the call. A Resolver that is
// dropped uncalled lets the task go: it is destroyed without resuming.
#include <atomic>
#include <cassert>
#include <coroutine>
#include <memory>
#include <optional>
#include <utility>

#include "app/runtime/task.h"

namespace korvane::app {

template <class T>
class Resolver {
public:
    Resolver(std::shared_ptr<TaskState> task, std::coroutine_handle<> frame, std::optional<T>* slot)
        : shared_(std::make_shared<Shared>(std::move(task), frame, slot)) {}

    void operator()(T value) const {
        if (shared_->used.exchange(true)) return;
        auto task = std::move(shared_->task);
        MainLoop& loop = task->loop();
        loop.post([task = std::move(task), frame = shared_->frame, slot = shared_->slot,
                   value = std::move(value)]() mutable {
            *slot = std::move(value);
            task->resume(frame);
        });
    }

private:
    struct Shared {
        Shared(std::shared_ptr<TaskState> t, std::coroutine_handle<> f, std::optional<T>* s)
            : task(std::move(t)), frame(f), slot(s) {}
        std::atomic<bool> used{false};
        std::shared_ptr<TaskState> task;
        std::coroutine_handle<> frame;
        std::optional<T>* slot;
    };
    std::shared_ptr<Shared> shared_;
};

template <class T, class Start>
class CompletionAwaiter {
public:
    explicit CompletionAwaiter(Start start) : start_(std::move(start)) {}

    bool await_ready() const noexcept { return false; }
    template <class P>
    void await_suspend(std::coroutine_handle<P> frame) {
        TaskState* task = frame.promise().task;
        assert(task && "an Async must run inside a spawned task");
        start_(Resolver<T>(task->shared_from_this(), frame, &result_));
    }
    T await_resume() { return std::move(*result_); }

private:
    Start start_;
    std::optional<T> result_;
};

template <class T, class Start>
CompletionAwaiter<T, Start> awaitCompletion(Start start) {
    return CompletionAwaiter<T, Start>(std::move(start));
}

}  // namespace korvane::app
