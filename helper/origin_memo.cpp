#include "helper/origin_memo.h"

namespace korvane::helper {

std::optional<identity::AppOrigin> OriginMemo::originOf(
    std::int32_t pid, std::string_view arguments, std::uint64_t generation,
    const std::function<std::optional<identity::AppOrigin>()>& find) {
    auto now = now_();
    {
        std::lock_guard lock(mutex_);
        if (generation > generation_) {
            entries_.clear();
            generation_ = generation;
        }
        auto it = entries_.find(pid);
        if (it != entries_.end() && it->second.arguments == arguments && it->second.settled) return it->second.origin;
    }
    // Looked up without the lock: other scans need not wait for our /proc reads.
    auto origin = find();
    std::lock_guard lock(mutex_);
    if (generation < generation_) return origin;  // found while the entries changed; not worth keeping
    auto [it, inserted] = entries_.try_emplace(pid);
    Entry& entry = it->second;
    if (inserted || entry.arguments != arguments) {
        entry.arguments = std::string(arguments);
        entry.firstSeen = now;
    }
    entry.origin = origin;
    entry.settled = now - entry.firstSeen >= kSettleTime;
    return origin;
}

void OriginMemo::keepOnly(const std::function<bool(std::int32_t pid)>& listed) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const auto& entry) { return !listed(entry.first); });
}

}  // namespace korvane::helper
