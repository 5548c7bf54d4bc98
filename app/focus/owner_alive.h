#pragma once
// A coroutine of a manager keeps `this` across its suspensions; it checks
// through a copy of the owner's lifeline that the manager still exists
// before touching it again.
#include <memory>

#include "app/runtime/lifeline.h"

namespace korvane::app {

inline bool ownerAlive(const std::weak_ptr<Lifeline>& owner) {
    auto lifeline = owner.lock();
    return lifeline && lifeline->isOpen();
}

}  // namespace korvane::app
