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
#include <future>
#include <memory>
#include <stdexcept>
#include <type_traits>

#include "app/shell/qt_main_loop.h"

namespace korvane::testing {

class QtLoopThread {
public:
    QtLoopThread() {
        auto started = std::make_shared<std::promise<MainLoop*>>();
        thread_.reset(QThread::create([started] {
            app::QtMainLoop loop;
            started->set_value(&loop);
            QEventLoop().exec();
        }));
        thread_->start();
        loop_ = started->get_future().get();
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
        auto task = std::make_shared<std::packaged_task<std::invoke_result_t<F&>()>>(std::move(work));
        auto result = task->get_future();
        loop_->post([task] { (*task)(); });
        if (result.wait_for(limit) != std::future_status::ready) {
            throw std::runtime_error("the main loop did not answer in time");
        }
        return result.get();
    }

private:
    MainLoop* loop_ = nullptr;
    std::unique_ptr<QThread> thread_;
};

}  // namespace korvane::testing
