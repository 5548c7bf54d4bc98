#include "app/shell/qt_main_loop.h"

#include <QThread>
#include <algorithm>
#include <chrono>

namespace korvane::app {

QtMainLoop::QtMainLoop() : context_(std::make_unique<QObject>()) {
    timer_ = new QTimer(context_.get());
    timer_->setSingleShot(true);
    // A coarse timer may fire a few milliseconds early; nothing is due then,
    // and the re-arm for the rest costs a second wake-up per timer.
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, context_.get(), [this] { fireDue(); });
}

QtMainLoop::~QtMainLoop() = default;

void QtMainLoop::post(std::function<void()> task) {
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

TimerId QtMainLoop::scheduleOnce(Duration delay, std::function<void()> task) {
    return add(delay, Duration::zero(), std::move(task));
}

TimerId QtMainLoop::scheduleRepeating(Duration interval, std::function<void()> task) {
    return add(interval, interval, std::move(task));
}

TimerId QtMainLoop::add(Duration delay, Duration interval, std::function<void()> task) {
    TimerId id;
    {
        std::lock_guard lock(mutex_);
        id = timers_.add(now() + delay, interval, std::move(task));
    }
    requestRearm();
    return id;
}

void QtMainLoop::cancel(TimerId id) {
    {
        std::lock_guard lock(mutex_);
        timers_.cancel(id);
    }
    requestRearm();
}

TimePoint QtMainLoop::now() const { return std::chrono::steady_clock::now(); }

void QtMainLoop::requestRearm() {
    // QTimer belongs to the main thread; other threads ask it to re-arm.
    if (QThread::currentThread() == context_->thread()) {
        rearm();
    } else {
        post([this] { rearm(); });
    }
}

void QtMainLoop::rearm() {
    std::optional<TimePoint> next;
    {
        std::lock_guard lock(mutex_);
        next = timers_.nextDue();
    }
    if (!next) {
        timer_->stop();
        return;
    }
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now());
    timer_->start(static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 24 * 3600 * 1000)));
}

void QtMainLoop::fireDue() {
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            task = timers_.popDue(now());
        }
        if (!task) break;
        task();
    }
    rearm();
}

}  // namespace korvane::app
