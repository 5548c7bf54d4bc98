#include "shared/mainloop/timer_queue.h"

#include <memory>

namespace korvane {

TimerId TimerQueue::add(TimePoint due, Duration interval, std::function<void()> task) {
    TimerId id = nextId_++;
    byDue_.emplace(Key{due, id}, Entry{interval, std::move(task)});
    dueOf_.emplace(id, due);
    return id;
}

void TimerQueue::cancel(TimerId id) {
    auto it = dueOf_.find(id);
    if (it == dueOf_.end()) return;
    byDue_.erase(Key{it->second, id});
    dueOf_.erase(it);
}

std::optional<TimePoint> TimerQueue::nextDue() const {
    if (byDue_.empty()) return std::nullopt;
    return byDue_.begin()->first.first;
}

std::function<void()> TimerQueue::popDue(TimePoint now) {
    if (byDue_.empty() || byDue_.begin()->first.first > now) return {};
    auto node = byDue_.extract(byDue_.begin());
    auto [due, id] = node.key();
    Entry& entry = node.mapped();
    if (entry.interval == Duration::zero()) {
        dueOf_.erase(id);
        return std::move(entry.task);
    }
    // A repeating timer keeps its task in the queue; the caller gets a call
    // through a shared copy so that cancelling it from inside its own task is safe.
    auto shared = std::make_shared<std::function<void()>>(std::move(entry.task));
    TimePoint next = due + entry.interval;
    if (next <= now) next = now + entry.interval;  // missed ticks are dropped, not replayed
    byDue_.emplace(Key{next, id}, Entry{entry.interval, [shared] { (*shared)(); }});
    dueOf_[id] = next;
    return [shared] { (*shared)(); };
}

}  // namespace korvane
