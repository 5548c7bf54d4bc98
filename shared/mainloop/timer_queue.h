#pragma once
// Bookkeeping shared by the real and the virtual main loop: pending timers
// ordered by due time, then by scheduling order.
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "shared/mainloop/main_loop.h"

namespace korvane {

class TimerQueue {
public:
    TimerId add(TimePoint due, Duration interval, std::function<void()> task);
    void cancel(TimerId id);
    std::optional<TimePoint> nextDue() const;

    // Removes the earliest timer due at or before `now` and returns its task;
    // a repeating timer is put back one interval later. Empty when none is due.
    std::function<void()> popDue(TimePoint now);
    bool empty() const { return byDue_.empty(); }

private:
    struct Entry {
        Duration interval;  // zero for one-shot timers
        std::function<void()> task;
    };
    using Key = std::pair<TimePoint, TimerId>;
    std::map<Key, Entry> byDue_;
    std::map<TimerId, TimePoint> dueOf_;
    TimerId nextId_ = 1;
};

}  // namespace korvane
