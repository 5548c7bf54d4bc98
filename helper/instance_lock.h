#pragma once
// One helper per runtime folder: the records there and the socket beside
// them are one helper's. Two started at the same instant on a stale socket
// would otherwise both find it dead and both serve. Held until the process
// ends; the kernel lets go of it however the process ends.
#include <string>

#include "shared/util/expected.h"
#include "shared/util/owned_fd.h"

namespace korvane::helper {

inline constexpr const char* kInstanceLockName = "com.korvane.helper.lock";

class InstanceLock {
public:
    struct Refusal {
        bool held = false;  // another helper holds it; otherwise it could not be taken
        std::string text;
    };
    // Takes the lock in `folder` (a folder only root may write to) without
    // waiting.
    static Expected<InstanceLock, Refusal> take(const std::string& folder);

private:
    explicit InstanceLock(OwnedFd fd) : fd_(std::move(fd)) {}
    OwnedFd fd_;
};

}  // namespace korvane::helper
