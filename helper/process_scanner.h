#pragma once
// The process-table questions Beast Mode and the jail monitor ask.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "shared/process/process_entry.h"

namespace korvane::helper {

struct JailMatch {
    std::int32_t pid;
    std::string bundleID;
    bool operator==(const JailMatch&) const = default;
};

class ProcessScanner {
public:
    virtual ~ProcessScanner() = default;
    // With `family`, who started whom in the listing the scan read is left
    // there, so that the batch that follows reads the table no second time.
    // Every application process except `excludingPID`, in listing order.
    virtual std::vector<std::int32_t> guiAppPIDs(std::int32_t excludingPID, ProcessFamily* family = nullptr) = 0;
    // Running processes whose application is in `bundleIDs`, in listing order.
    virtual std::vector<JailMatch> pidsForBundleIDs(const std::set<std::string>& bundleIDs,
                                                    ProcessFamily* family = nullptr) = 0;
};

}  // namespace korvane::helper
