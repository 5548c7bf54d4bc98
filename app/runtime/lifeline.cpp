#include "app/runtime/lifeline.h"

namespace korvane::app {

void Lifeline::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    loop_.post([weak = weak_from_this(), task = std::move(task)] {
        auto self = weak.lock();
        if (self && self->isOpen()) task();
    });
}

void Lifeline::close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

bool Lifeline::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

}  // namespace korvane::app
