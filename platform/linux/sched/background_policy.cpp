#include "platform/linux/sched/background_policy.h"

#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "shared/util/owned_fd.h"

namespace korvane::linux_platform {
namespace {

// Threads that end meanwhile (ESRCH) and threads that refuse a mask or a
// policy (EINVAL: pinned kernel workers, a cpuset without efficiency CPUs)
// are passed over; they do not fail their process.
bool isPassedOver(int error) { return error == ESRCH || error == EINVAL; }

PolicyFailure failure(PolicyFailureReason reason, int error = 0) { return PolicyFailure{reason, error}; }

PolicyFailure failureFor(int error) {
    if (error == EPERM || error == EACCES) return failure(PolicyFailureReason::PermissionDenied, error);
    if (error == ESRCH || error == ENOENT) return failure(PolicyFailureReason::NoSuchProcess, error);
    return failure(PolicyFailureReason::SystemError, error);
}

// The target's pidfd. pidfd_open refuses thread ids, so it also tells a
// process from one of its threads (/proc/TID/task would list the whole
// process). Kept by the memory, it names the process until its release.
// 0 or the errno of pidfd_open. Kernels before 5.3 have none; then the pid
// is taken as it is.
int openPidfd(pid_t pid, OwnedFd& pidfd) {
    long fd = ::syscall(SYS_pidfd_open, pid, 0U);
    if (fd >= 0) {
        pidfd.reset(static_cast<int>(fd));
        return 0;
    }
    if (errno != ENOSYS) return errno;
    return ::kill(pid, 0) == 0 || errno == EPERM ? 0 : errno;
}

// Note reads and remembers what Background would change, changing nothing,
// so that it can be on record before the change is made.
enum class Direction { Background, Release, Note };

}  // namespace

// One apply or release: the target, then its descendants in its cgroup.
// Everything read about a process goes through its open /proc directory,
// and reads through it come back empty once the process has ended, so a
// pid given to a new process meanwhile is never followed.
class PolicyWalk {
public:
    PolicyWalk(BackgroundPolicy& policy, Direction direction, RememberedStates* memory,
               const FamilyReading* family)
        : policy_(policy), direction_(direction), memory_(memory), family_(family) {}

    Expected<PolicyReport, PolicyFailure> run(pid_t target);

private:
    struct Descendant {
        pid_t pid;
        pid_t parent;
    };

    // Changes every thread of one process; false when the kernel refused a
    // change (`refusal` holds the errno) and the process was restored.
    bool walkProcess(pid_t pid, TaskDirectory& tasks, const RememberedProcess* remembered,
                     RememberedProcess& before, int& refusal);
    void walkDescendant(const Descendant& found);
    bool sharesTargetCgroup(const std::string& cgroup);
    // 0 or the errno of a refusal; `changed` tells whether anything was set.
    int backgroundThread(pid_t tid, RememberedProcess& before, bool& changed);
    int releaseThread(pid_t tid, pid_t pid, const RememberedProcess* remembered, bool& changed);
    int noteThread(pid_t tid, RememberedProcess& before);
    int restoreThread(pid_t tid, const ThreadSchedState& state);
    bool looksBackground(const ThreadSchedState& state) const;
    std::optional<std::uint64_t> startTimeOf(pid_t pid) const;
    // The target's start time from the batch's reading, if no process has
    // been born since it was read (so its pid can name no other); else read.
    std::optional<std::uint64_t> targetStartTime() const;
    // Queues a child not met before in this walk.
    void follow(pid_t child, pid_t parent);

    BackgroundPolicy& policy_;
    Direction direction_;
    RememberedStates* memory_;
    const FamilyReading* family_;
    pid_t target_ = 0;
    std::vector<Descendant> pending_;
    std::unordered_set<pid_t> visited_;  // filled from the first child on
    std::optional<std::string> targetCgroup_;
    PolicyReport report_;
};

Expected<PolicyReport, PolicyFailure> PolicyWalk::run(pid_t target) {
    target_ = target;
    if (target <= 0) return unexpected(failure(PolicyFailureReason::NoSuchProcess));
    auto startTime = [this](pid_t pid) { return startTimeOf(pid); };
    const RememberedProcess* remembered =
        direction_ == Direction::Release && memory_ ? memory_->find(target, startTime) : nullptr;

    // A remembered process is known to be one; anything else may be a
    // thread id.
    OwnedFd pidfd;
    if (!remembered) {
        if (int error = openPidfd(target, pidfd); error != 0) {
            return unexpected(error == EINVAL ? failure(PolicyFailureReason::NoSuchProcess, error)
                                              : failureFor(error));
        }
    }
    // Reading /proc/PID/stat costs more than all the system calls on a
    // thread, so only processes in session 0, where every kernel thread is,
    // are looked at closely. A remembered process was looked at when it
    // got the policy.
    if (!remembered && ::getsid(target) <= 0) {
        auto stat = policy_.tree_.stat(target);
        if (!stat) return unexpected(failureFor(stat.error()));
        if (stat->isKernelThread()) return unexpected(failure(PolicyFailureReason::KernelThread));
    }

    auto tasks = policy_.tree_.openTasks(target);
    if (!tasks) return unexpected(failureFor(tasks.error()));
    RememberedProcess before{ProcessReference::startedAt(0), {}};
    int refusal = 0;
    if (!walkProcess(target, *tasks, remembered, before, refusal)) return unexpected(failureFor(refusal));
    if (report_.threads == 0) return unexpected(failure(PolicyFailureReason::NoSuchProcess, ESRCH));

    before.noted = direction_ == Direction::Note;
    if (memory_ && direction_ != Direction::Release) {
        auto started = targetStartTime();
        report_.startTime = started.value_or(0);
        if (memory_->canHoldDescriptor() && pidfd.valid()) {
            before.process = ProcessReference::holding(pidfd.release(), started.value_or(0));
            memory_->remember(target, std::move(before), startTime);
        } else if (started) {
            before.process = ProcessReference::startedAt(*started);
            memory_->remember(target, std::move(before), startTime);
        }
    } else if (remembered) {
        memory_->forget(target);
    }

    while (!pending_.empty()) {
        Descendant next = pending_.back();
        pending_.pop_back();
        walkDescendant(next);
    }
    if (memory_ && direction_ != Direction::Release) memory_->sweepIfGrown(startTime);
    return report_;
}

std::optional<std::uint64_t> PolicyWalk::startTimeOf(pid_t pid) const {
    auto stat = policy_.tree_.stat(pid);
    return stat ? std::optional(stat->startTime) : std::nullopt;
}

std::optional<std::uint64_t> PolicyWalk::targetStartTime() const {
    // The latest generation was read after the target's pidfd was opened.
    if (family_ && family_->generation && family_->generation == policy_.lastGeneration_) {
        if (auto started = family_->family.startTimeOf(target_)) return started;
    }
    return startTimeOf(target_);
}

void PolicyWalk::follow(pid_t child, pid_t parent) {
    if (visited_.empty()) {
        visited_.insert(target_);
        // A process that shares our cgroup may be one of our ancestors; the
        // caller (the helper, the tool) is never one of the descendants changed.
        visited_.insert(policy_.self_);
    }
    if (visited_.insert(child).second) pending_.push_back({child, parent});
}

void PolicyWalk::walkDescendant(const Descendant& found) {
    auto process = policy_.tree_.openProcess(found.pid);
    if (!process) return;
    // A child that ended between the listing and now may have left its pid
    // to a stranger; only a process whose parent is still the one that
    // listed it is ours.
    auto stat = process->stat();
    if (!stat || stat->parent != found.parent || stat->isKernelThread()) return;
    auto cgroup = process->cgroup();
    if (!cgroup || !sharesTargetCgroup(*cgroup)) return;
    auto tasks = process->openTasks();
    if (!tasks) return;

    auto knownStartTime = [&stat](pid_t) { return std::optional(stat->startTime); };
    const RememberedProcess* remembered =
        direction_ == Direction::Release && memory_ ? memory_->find(found.pid, knownStartTime) : nullptr;
    RememberedProcess before{ProcessReference::startedAt(stat->startTime), {}};
    before.noted = direction_ == Direction::Note;
    int refusal = 0;
    if (!walkProcess(found.pid, *tasks, remembered, before, refusal)) return;
    if (memory_ && direction_ != Direction::Release) {
        memory_->remember(found.pid, std::move(before), knownStartTime);
    } else if (remembered) {
        memory_->forget(found.pid);
    }
}

bool PolicyWalk::sharesTargetCgroup(const std::string& cgroup) {
    if (!targetCgroup_) {
        auto own = policy_.tree_.cgroup(target_);
        if (!own) return false;
        targetCgroup_ = std::move(*own);
    }
    return cgroup == *targetCgroup_;
}

bool PolicyWalk::walkProcess(pid_t pid, TaskDirectory& tasks, const RememberedProcess* remembered,
                             RememberedProcess& before, int& refusal) {
    // Threads appear while we work, and a thread started by one we have not
    // reached yet inherits nothing from us: after a pass that changed
    // something the threads are listed again, until a pass finds none new.
    // A pass that changed nothing let no thread inherit anything it should
    // not have; then only a moved thread count lists them again. Neither
    // when the pid generation says no thread has been born since the listing.
    std::vector<pid_t> seen;  // sorted; listings come in ascending order
    for (bool again = true; again;) {
        again = false;
        bool changed = false;
        int listed = 0;
        bool foundNew = false;
        // Any reading from before the listing will do.
        const std::optional<std::int32_t> listedAt = policy_.lastGeneration_;
        for (pid_t tid : tasks.threads()) {
            ++listed;
            auto at = std::lower_bound(seen.begin(), seen.end(), tid);
            if (at != seen.end() && *at == tid) continue;
            seen.insert(at, tid);
            foundNew = true;
            int error = direction_ == Direction::Background ? backgroundThread(tid, before, changed)
                        : direction_ == Direction::Release    ? releaseThread(tid, pid, remembered, changed)
                                                              : noteThread(tid, before);
            if (error != 0 && refusal == 0) refusal = error;
            if (family_) continue;
            // Read after the change: what this thread starts from now on inherits it.
            for (pid_t child : tasks.children(tid)) {
                follow(child, pid);
            }
        }
        if (refusal != 0 || !foundNew) break;
        if (auto after = policy_.generationNow(); listedAt && after == listedAt) break;
        again = changed || tasks.threadCount() != listed;
    }
    if (family_ && refusal == 0) {
        for (pid_t child : family_->family.childrenOf(pid)) {
            follow(child, pid);
        }
    }
    if (refusal != 0) {
        // Half a background policy helps nobody and would never be released.
        if (direction_ == Direction::Background) {
            for (const auto& [tid, state] : before.threads) restoreThread(tid, state);
        }
        return false;
    }
    report_.processes += seen.empty() ? 0 : 1;
    report_.threads += static_cast<int>(seen.size());
    return true;
}

bool PolicyWalk::looksBackground(const ThreadSchedState& state) const {
    return state.attributes.policy == SCHED_IDLE && ioPriorityClass(state.ioPriority) == kIoPriorityClassIdle &&
           (!policy_.topology_.isHybrid() || state.affinity.isSubsetOf(policy_.efficiencyMask_));
}

int PolicyWalk::backgroundThread(pid_t tid, RememberedProcess& before, bool& changed) {
    ThreadSchedState state;
    if (int error = readThreadSchedState(tid, state); error != 0) return isPassedOver(error) ? 0 : error;
    // A thread that already looks like this was born of a changed thread or
    // changed by an earlier request; its state is nothing to return to.
    if (!looksBackground(state)) before.threads.emplace(tid, state);

    if (policy_.topology_.isHybrid() && !state.affinity.isSubsetOf(policy_.efficiencyMask_)) {
        changed = true;
        int error = setThreadAffinity(tid, policy_.efficiencyMask_);
        if (error != 0 && !isPassedOver(error)) return error;
    }
    if (state.attributes.policy != SCHED_IDLE) {
        changed = true;
        SchedAttributes idle;
        idle.policy = SCHED_IDLE;
        idle.nice = state.attributes.nice;
        idle.flags = state.attributes.flags & kSchedFlagResetOnFork;
        int error = setThreadAttributes(tid, idle);
        if (error != 0 && !isPassedOver(error)) return error;
    }
    if (ioPriorityClass(state.ioPriority) != kIoPriorityClassIdle) {
        changed = true;
        int error = setThreadIoPriority(tid, kIoPriorityIdle);
        if (error != 0 && !isPassedOver(error)) return error;
    }
    return 0;
}

int PolicyWalk::noteThread(pid_t tid, RememberedProcess& before) {
    ThreadSchedState state;
    if (int error = readThreadSchedState(tid, state); error != 0) return isPassedOver(error) ? 0 : error;
    if (!looksBackground(state)) before.threads.emplace(tid, state);
    return 0;
}

int PolicyWalk::releaseThread(pid_t tid, pid_t pid, const RememberedProcess* remembered, bool& changed) {
    if (remembered) {
        if (auto own = remembered->threads.find(tid); own != remembered->threads.end()) {
            changed = true;
            return restoreThread(tid, own->second);
        }
    }
    ThreadSchedState state;
    if (int error = readThreadSchedState(tid, state); error != 0) return isPassedOver(error) ? 0 : error;
    if (remembered) {
        if (auto leader = remembered->threads.find(pid); leader != remembered->threads.end()) {
            // Born while its process had the policy, so it inherited it; what
            // the process's main thread had before is the best guess.
            ThreadSchedState guess = leader->second;
            guess.attributes.nice = state.attributes.nice;
            changed = true;
            return restoreThread(tid, guess);
        }
    }
    bool idlePolicy = state.attributes.policy == SCHED_IDLE;
    bool idleIo = ioPriorityClass(state.ioPriority) == kIoPriorityClassIdle;
    if (!idlePolicy && !idleIo) return 0;
    changed = true;
    if (policy_.topology_.isHybrid() && state.affinity.isSubsetOf(policy_.efficiencyMask_)) {
        int error = setThreadAffinity(tid, policy_.fullMask_);
        if (error != 0 && !isPassedOver(error)) return error;
    }
    if (idlePolicy) {
        SchedAttributes normal;
        normal.policy = SCHED_OTHER;
        normal.nice = state.attributes.nice;
        normal.flags = state.attributes.flags & kSchedFlagResetOnFork;
        int error = setThreadAttributes(tid, normal);
        if (error != 0 && !isPassedOver(error)) return error;
    }
    if (idleIo) {
        int error = setThreadIoPriority(tid, kIoPriorityDefault);
        if (error != 0 && !isPassedOver(error)) return error;
    }
    return 0;
}

int PolicyWalk::restoreThread(pid_t tid, const ThreadSchedState& state) {
    int error = setThreadAffinity(tid, state.affinity);
    // The cpuset may no longer allow the old CPUs; then no restriction is the
    // closest we can give back.
    if (error == EINVAL) error = setThreadAffinity(tid, policy_.fullMask_);
    if (error == ESRCH) return 0;
    if (error != 0 && !isPassedOver(error)) return error;

    error = setThreadAttributes(tid, state.attributes);
    if (error == EINVAL || error == EBUSY) {
        // A deadline reservation that no longer fits, for example.
        SchedAttributes normal;
        normal.policy = SCHED_OTHER;
        normal.nice = state.attributes.nice;
        error = setThreadAttributes(tid, normal);
    }
    if (error != 0 && !isPassedOver(error)) return error;

    error = setThreadIoPriority(tid, state.ioPriority);
    if (error != 0 && !isPassedOver(error)) return error;
    return 0;
}

BackgroundPolicy::BackgroundPolicy(CpuTopology topology, std::string procRoot)
    : topology_(std::move(topology)),
      tree_(procRoot),
      efficiencyMask_(CpuMask::of(topology_.efficiencyCPUs())),
      fullMask_(CpuMask::all()),
      self_(::getpid()),
      generation_(procRoot) {}

Expected<PolicyReport, PolicyFailure> BackgroundPolicy::apply(pid_t pid, RememberedStates* memory,
                                                              const FamilyReading* family) {
    return PolicyWalk(*this, Direction::Background, memory, family).run(pid);
}

Expected<PolicyReport, PolicyFailure> BackgroundPolicy::note(pid_t pid, RememberedStates& memory,
                                                             const FamilyReading* family) {
    return PolicyWalk(*this, Direction::Note, &memory, family).run(pid);
}

Expected<PolicyReport, PolicyFailure> BackgroundPolicy::release(pid_t pid, RememberedStates* memory,
                                                                const FamilyReading* family) {
    return PolicyWalk(*this, Direction::Release, memory, family).run(pid);
}

}  // namespace korvane::linux_platform
