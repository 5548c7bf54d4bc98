#include "helper/origin_memo.h"

namespace korvane::helper {

std::optional<identity::AppOrigin> OriginMemo::originOf(std::int32_t pid, std::string_view arguments,
                                                        std::uint64_t generation,
                                                        const std::function<identity::FoundOrigin()>& find,
                                                        const LastChange& lastChangeOf) {
    auto now = now_();
    {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(pid);
        if (it != entries_.end() && it->second.arguments == arguments && it->second.settled &&
            lastChangeOf(it->second.folders) <= it->second.foundAt) {
            return it->second.origin;
        }
    }
    // Looked up without the lock: other scans need not wait for our /proc reads.
    auto found = find();
    std::lock_guard lock(mutex_);
    auto [it, inserted] = entries_.try_emplace(pid);
    Entry& entry = it->second;
    if (inserted || entry.arguments != arguments) {
        entry.arguments = std::string(arguments);
        entry.firstSeen = now;
    }
    entry.origin = found.origin;
    entry.folders = std::move(found.folders);
    // The generation read before the lookup: a folder that changed during it
    // makes the next scan look again.
    entry.foundAt = generation;
    entry.settled = now - entry.firstSeen >= kSettleTime;
    return found.origin;
}

void OriginMemo::keepOnly(const std::function<bool(std::int32_t pid)>& listed) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const auto& entry) { return !listed(entry.first); });
}

}  // namespace korvane::helper
