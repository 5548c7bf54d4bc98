#include "app/runtime/task.h"

namespace korvane::app {

TaskState::TaskState(MainLoop& loop, std::function<Async<>()> body, std::shared_ptr<Lifeline> owner)
    : loop_(loop), body_(std::move(body)), owner_(std::move(owner)) {}

TaskState::~TaskState() {
    // The frames go before the body whose captures they may still refer to.
    root_.reset();
}

void TaskState::start() {
    if (owner_ && !owner_->isOpen()) {
        finish();
        return;
    }
    root_.emplace(body_());
    root_->handle_.promise().task = this;
    resume(root_->handle_);
}

void TaskState::resume(std::coroutine_handle<> frame) {
    if (finished_ || !root_) return;
    if (owner_ && !owner_->isOpen()) {
        finish();
        return;
    }
    // Keeps this task alive while it runs, whoever held it until now.
    auto self = shared_from_this();
    frame.resume();
    if (root_ && root_->handle_.done()) finish();
}

void TaskState::finish() {
    finished_ = true;
    cancelHook_ = nullptr;
    root_.reset();
}

void TaskState::cancel() {
    if (finished_ || cancelled_) return;
    cancelled_ = true;
    if (auto hook = std::move(cancelHook_)) {
        cancelHook_ = nullptr;
        auto self = shared_from_this();
        hook();
    }
}

bool TaskHandle::done() const {
    auto state = state_.lock();
    return !state || state->finished();
}

void TaskHandle::cancel() const {
    if (auto state = state_.lock()) state->cancel();
}

namespace {

TaskHandle startOn(MainLoop& loop, std::function<Async<>()> body, std::shared_ptr<Lifeline> owner) {
    auto state = std::make_shared<TaskState>(loop, std::move(body), std::move(owner));
    TaskHandle handle(state);
    loop.post([state] { state->start(); });
    return handle;
}

}  // namespace

TaskHandle spawn(MainLoop& loop, std::function<Async<>()> body) { return startOn(loop, std::move(body), nullptr); }

TaskHandle spawn(const std::shared_ptr<Lifeline>& owner, std::function<Async<>()> body) {
    return startOn(owner->loop(), std::move(body), owner);
}

}  // namespace korvane::app
