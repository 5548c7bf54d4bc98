#pragma once
// The small state each helper call has: a mutex and a done flag shared by its
// reply path and its error path. Whichever comes first delivers the result;
// the other then does nothing, so a call completes exactly once even when the
// daemon replies and the connection also fails.
#include <memory>
#include <mutex>
#include <utility>

#include "app/runtime/completion.h"
#include "app/runtime/lifeline.h"

namespace korvane::app {

template <class T>
class OnceOnlyCall {
public:
    OnceOnlyCall(Resolver<T> resolve, std::weak_ptr<Lifeline> owner)
        : resolve_(std::move(resolve)), owner_(std::move(owner)) {}

    // Any thread. The first time only: `postState(lifeline)` posts the state
    // this outcome writes, then the caller is resumed with `value`, so the
    // state is in place before the caller runs again. Nothing happens once the
    // owner has gone.
    template <class F>
    void complete(T value, F&& postState) {
        std::lock_guard lock(mutex_);
        if (done_) return;
        done_ = true;
        auto owner = owner_.lock();
        if (!owner) return;
        owner->whileOpen([&] {
            postState(*owner);
            resolve_(std::move(value));
        });
    }

private:
    std::mutex mutex_;
    bool done_ = false;
    Resolver<T> resolve_;
    std::weak_ptr<Lifeline> owner_;
};

}  // namespace korvane::app
