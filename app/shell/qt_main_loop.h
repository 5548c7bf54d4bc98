#pragma once
// The application's MainLoop on Qt's event loop, so every manager and
// coroutine written against MainLoop runs unchanged inside QApplication.
// Posted tasks are queued invocations; all timers share one QTimer armed for
// the earliest due time, so an idle application sleeps until then.
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>

#include "shared/mainloop/main_loop.h"
#include "shared/mainloop/timer_queue.h"

namespace korvane::app {

class QtMainLoop final : public MainLoop {
public:
    // Must be constructed on the thread that runs the Qt event loop.
    QtMainLoop();
    ~QtMainLoop() override;
    QtMainLoop(const QtMainLoop&) = delete;
    QtMainLoop& operator=(const QtMainLoop&) = delete;

    void post(std::function<void()> task) override;
    TimerId scheduleOnce(Duration delay, std::function<void()> task) override;
    TimerId scheduleRepeating(Duration interval, std::function<void()> task) override;
    void cancel(TimerId id) override;
    TimePoint now() const override;

private:
    TimerId add(Duration delay, Duration interval, std::function<void()> task);
    void requestRearm();
    void rearm();
    void fireDue();

    std::unique_ptr<QObject> context_;  // posted work dies with it
    QTimer* timer_ = nullptr;           // child of context_
    std::mutex mutex_;
    TimerQueue timers_;
};

}  // namespace korvane::app
