#include "shared/util/serial_queue.h"

namespace korvane {

SerialQueue::SerialQueue() : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_] {
        std::unique_lock lock(state->mutex);
        for (;;) {
            state->wake.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
            if (state->tasks.empty()) return;
            auto task = std::move(state->tasks.front());
            state->tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
        }
    });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_one();
    if (isCurrentThread()) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void SerialQueue::post(std::function<void()> task) {
    {
        std::lock_guard lock(state_->mutex);
        state_->tasks.push_back(std::move(task));
    }
    state_->wake.notify_one();
}

}  // namespace korvane
