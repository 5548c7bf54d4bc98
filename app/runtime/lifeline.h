#pragma once
// Ties work that other threads hand to the main loop to the life of the object
// that asked for it. The owner keeps the lifeline and closes it when it ends;
// from then on nothing posted through it runs, and tasks spawned under it are
// never resumed again, so no callback reaches an owner that is gone.
#include <functional>
#include <memory>
#include <mutex>

#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class Lifeline : public std::enable_shared_from_this<Lifeline> {
public:
    static std::shared_ptr<Lifeline> make(MainLoop& loop) { return std::shared_ptr<Lifeline>(new Lifeline(loop)); }

    MainLoop& loop() const { return loop_; }

    // Any thread. Posts `task` to the main loop unless closed; it is skipped if
    // the lifeline closes before it runs.
    void post(std::function<void()> task);

    // Any thread. Runs `work` only while open, keeping close() waiting until
    // it is done, so `work` may safely post to the loop of a living owner.
    template <class F>
    void whileOpen(F&& work) {
        std::lock_guard lock(mutex_);
        if (open_) work();
    }

    // Main thread (the owner's destructor). Idempotent.
    void close();
    bool isOpen() const;

private:
    explicit Lifeline(MainLoop& loop) : loop_(loop) {}

    MainLoop& loop_;
    mutable std::recursive_mutex mutex_;  // post() may be called from inside whileOpen()
    bool open_ = true;
};

}  // namespace korvane::app
