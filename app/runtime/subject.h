#pragma once
// A stream of values pushed by its owner to whoever subscribed, in
// subscription order. Main thread only. Observers may subscribe, unsubscribe
// or send again from inside a delivery: a delivery goes to the observers that
// were subscribed when it started and are still subscribed when their turn
// comes.
#include <functional>
#include <memory>
#include <vector>

#include "app/runtime/publisher.h"
#include "app/runtime/subscription.h"

namespace korvane::app {

template <class T>
class Subject {
public:
    using Observer = std::function<void(const T&)>;

    Subscription subscribe(Observer observer) const { return subscribeTo(core_, std::move(observer)); }

    void send(const T& value) const {
        auto snapshot = core_->slots;
        for (auto& slot : snapshot) {
            if (slot->active) slot->observer(value);
        }
    }

    Publisher<T> publisher() const {
        return Publisher<T>([core = core_](Observer observer) { return subscribeTo(core, std::move(observer)); });
    }

    bool hasObservers() const { return !core_->slots.empty(); }

private:
    struct Slot {
        Observer observer;
        bool active = true;
    };
    struct Core {
        std::vector<std::shared_ptr<Slot>> slots;
    };

    static Subscription subscribeTo(const std::shared_ptr<Core>& core, Observer observer) {
        auto slot = std::make_shared<Slot>(Slot{std::move(observer), true});
        core->slots.push_back(slot);
        return Subscription([weak = std::weak_ptr<Core>(core), slot] {
            slot->active = false;
            if (auto alive = weak.lock()) std::erase(alive->slots, slot);
        });
    }

    std::shared_ptr<Core> core_ = std::make_shared<Core>();
};

}  // namespace korvane::app
