#pragma once
// The fans this helper switched to manual. While the helper runs the tray
// application watches the temperature; once the helper stops, a fan left at a
// low manual speed would have no controller at all, so on the way out every
// such fan goes back to automatic.
#include <cstdint>
#include <mutex>
#include <set>

namespace korvane::helper {

class ManualFanRegistry {
public:
    void switchedToManual(std::int64_t fanIndex);
    void switchedToAutomatic(std::int64_t fanIndex);
    std::set<std::int64_t> manualFans() const;

    // Writes automatic mode through the SMC bridge to every fan still in
    // manual, logging each, and forgets them.
    void restoreAutomatic();

private:
    mutable std::mutex mutex_;
    std::set<std::int64_t> manual_;
};

// One per process, as the SMC connection is.
ManualFanRegistry& manualFanRegistry();

}  // namespace korvane::helper
