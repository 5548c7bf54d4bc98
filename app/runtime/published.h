#pragma once
// An observable field of a manager. Every assignment notifies the observers,
// also when the value did not change; the owner's change hook then runs with
// the previous value and decides for itself whether anything really changed.
// Main thread only.
#include <functional>
#include <memory>
#include <utility>

#include "app/runtime/publisher.h"
#include "app/runtime/subject.h"

namespace korvane::app {

template <class T>
class Published {
public:
    using ChangeHook = std::function<void(const T& previous)>;

    Published() : core_(std::make_shared<Core>()) {}
    explicit Published(T initial) : core_(std::make_shared<Core>()) { core_->value = std::move(initial); }
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return core_->value; }
    const T* operator->() const { return &core_->value; }

    // Stores the value, tells the observers, then runs the change hook.
    void set(T value) {
        T previous = std::exchange(core_->value, std::move(value));
        const T current = core_->value;  // observers may assign again while we deliver
        core_->changes.send(current);
        if (hook_) hook_(previous);
    }
    Published& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    // Edits a copy and assigns it, for containers: `pids.modify([&](auto& s) { s.insert(p); })`.
    template <class F>
    void modify(F edit) {
        T copy = core_->value;
        edit(copy);
        set(std::move(copy));
    }

    void setChangeHook(ChangeHook hook) { hook_ = std::move(hook); }

    // Every later assignment, not the current value.
    Subscription observe(std::function<void(const T&)> observer) const {
        return core_->changes.subscribe(std::move(observer));
    }

    // The current value on subscription, then every assignment.
    Publisher<T> publisher() const {
        return Publisher<T>([core = core_](std::function<void(const T&)> observer) {
            observer(core->value);
            return core->changes.subscribe(std::move(observer));
        });
    }

private:
    struct Core {
        T value{};
        Subject<T> changes;
    };
    std::shared_ptr<Core> core_;
    ChangeHook hook_;
};

}  // namespace korvane::app
