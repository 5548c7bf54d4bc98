#pragma once
// Names one process for as long as it is held, so that a later process that
// is given the same pid is never taken for it: an open pidfd where we can
// afford one, else the start time from /proc/PID/stat.
#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace korvane::linux_platform {

class ProcessReference {
public:
    // Takes ownership of `pidfd`. The start time goes with it, so that the
    // reference can be written down for a later run, which cannot hold the
    // descriptor.
    static ProcessReference holding(int pidfd, std::uint64_t startTime);
    static ProcessReference startedAt(std::uint64_t startTime);

    ProcessReference(ProcessReference&& other) noexcept;
    ProcessReference& operator=(ProcessReference&& other) noexcept;
    ProcessReference(const ProcessReference&) = delete;
    ProcessReference& operator=(const ProcessReference&) = delete;
    ~ProcessReference();

    bool holdsDescriptor() const { return pidfd_ >= 0; }
    std::uint64_t startTime() const { return startTime_; }
    // Whether `pid` still names the referenced process. `currentStartTime`
    // is asked only by a start-time reference: the start time of whatever
    // process has the pid now, or nothing.
    template <class StartTimeOf>
    bool stillNames(pid_t pid, const StartTimeOf& currentStartTime) const {
        if (holdsDescriptor()) return !hasEnded();
        return currentStartTime(pid) == std::optional<std::uint64_t>(startTime_);
    }

private:
    ProcessReference() = default;
    bool hasEnded() const;

    int pidfd_ = -1;
    std::uint64_t startTime_ = 0;
};

// Whether the process behind a pidfd has ended (it then reads as ready).
bool pidfdHasEnded(int pidfd);

}  // namespace korvane::linux_platform
