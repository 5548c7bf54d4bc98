#pragma once
// The application's own main loop (Qt's event loop, as QtMainLoop runs it)
// on a thread of its own, for tests and benchmarks that need real time to
// pass and adapters that live on Qt's loop (the D-Bus workspaces). The
// test's thread reaches the loop's state only through call(), which runs a
// function on the loop and waits for its result. The process must have a
// QCoreApplication (the test's main makes one).
#include <QEventLoop>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "app/shell/qt_main_loop.h"

namespace korvane::testing {

class QtLoopThread {
public:
    QtLoopThread() {
        thread_.reset(QThread::create([this] {
            app::QtMainLoop loop;
            {
                std::lock_guard lock(mutex_);
                loop_ = &loop;
            }
            started_.notify_all();
            QEventLoop().exec();
            std::lock_guard lock(mutex_);
            loop_ = nullptr;
        }));
        thread_->start();
        std::unique_lock lock(mutex_);
        started_.wait(lock, [&] { return loop_ != nullptr; });
    }
    ~QtLoopThread() {
        thread_->quit();
        thread_->wait();
    }
    QtLoopThread(const QtLoopThread&) = delete;
    QtLoopThread& operator=(const QtLoopThread&) = delete;

    MainLoop& loop() { return *loop_; }

    // Runs `work` on the loop and hands back what it returns. A loop that
    // does not get to it within `limit` is stuck: that throws, so the test
    // fails instead of hanging.
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
        loop_->post([state, work = std::move(work)]() mutable {
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
    std::mutex mutex_;
    std::condition_variable started_;
    MainLoop* loop_ = nullptr;
    std::unique_ptr<QThread> thread_;
};

}  // namespace korvane::testing
