#include "platform/linux/sched/process_reference.h"

#include <poll.h>
#include <unistd.h>

#include <utility>

namespace korvane::linux_platform {

bool pidfdHasEnded(int pidfd) {
    pollfd ready{pidfd, POLLIN, 0};
    return ::poll(&ready, 1, 0) > 0;
}

ProcessReference ProcessReference::holding(int pidfd, std::uint64_t startTime) {
    ProcessReference reference;
    reference.pidfd_ = pidfd;
    reference.startTime_ = startTime;
    return reference;
}

ProcessReference ProcessReference::startedAt(std::uint64_t startTime) {
    ProcessReference reference;
    reference.startTime_ = startTime;
    return reference;
}

ProcessReference::ProcessReference(ProcessReference&& other) noexcept
    : pidfd_(std::exchange(other.pidfd_, -1)), startTime_(other.startTime_) {}

ProcessReference& ProcessReference::operator=(ProcessReference&& other) noexcept {
    if (this != &other) {
        if (pidfd_ >= 0) ::close(pidfd_);
        pidfd_ = std::exchange(other.pidfd_, -1);
        startTime_ = other.startTime_;
    }
    return *this;
}

ProcessReference::~ProcessReference() {
    if (pidfd_ >= 0) ::close(pidfd_);
}

bool ProcessReference::hasEnded() const { return pidfdHasEnded(pidfd_); }

}  // namespace korvane::linux_platform
