#pragma once
// A thread that runs posted tasks one at a time, in order.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace korvane {

class SerialQueue {
public:
    SerialQueue();
    // Lets the tasks already posted run, then ends the thread. Destroying the
    // queue from one of its own tasks is allowed.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(std::function<void()> task);
    bool isCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    // Shared with the thread so it may outlive the queue object when detached.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> tasks;
        bool stopping = false;
    };
    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace korvane
