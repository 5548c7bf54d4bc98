#include "platform/linux/sched/taskpolicy_command.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "shared/version/version.h"

namespace korvane::linux_platform {
namespace {

std::string pidText(pid_t pid) { return std::to_string(pid); }

std::string failureLine(pid_t pid, const PolicyFailure& failure) {
    switch (failure.reason) {
        case PolicyFailureReason::NoSuchProcess:
            return "taskpolicy: no process with PID " + pidText(pid);
        case PolicyFailureReason::PermissionDenied:
            return "taskpolicy: permission denied: cannot change the scheduling of PID " + pidText(pid);
        case PolicyFailureReason::KernelThread:
            return "taskpolicy: PID " + pidText(pid) + " is a kernel thread; kernel threads are left alone";
        case PolicyFailureReason::SystemError:
            break;
    }
    return "taskpolicy: cannot change PID " + pidText(pid) + ": " + std::strerror(failure.error);
}

TaskPolicyFailureKind kindFor(PolicyFailureReason reason) {
    switch (reason) {
        case PolicyFailureReason::NoSuchProcess:
            return TaskPolicyFailureKind::NoSuchProcess;
        case PolicyFailureReason::PermissionDenied:
            return TaskPolicyFailureKind::PermissionDenied;
        case PolicyFailureReason::KernelThread:
            return TaskPolicyFailureKind::KernelThread;
        case PolicyFailureReason::SystemError:
            break;
    }
    return TaskPolicyFailureKind::Other;
}

Expected<pid_t, std::string> parsePid(const std::string& text) {
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value <= 0 ||
        value > std::numeric_limits<pid_t>::max()) {
        return unexpected("PID must be a positive whole number, not \"" + text + "\"");
    }
    return static_cast<pid_t>(value);
}

}  // namespace

TaskPolicyFailure taskPolicyFailureFor(pid_t pid, const PolicyFailure& failure) {
    TaskPolicyFailureKind kind = kindFor(failure.reason);
    return {kind, exitStatusFor(kind), failureLine(pid, failure)};
}

Expected<TaskPolicyRequest, std::string> parseTaskPolicyArguments(const std::vector<std::string>& arguments) {
    using Action = TaskPolicyRequest::Action;
    if (arguments.size() == 1) {
        if (arguments[0] == "--topology") return TaskPolicyRequest{Action::Topology, 0};
        if (arguments[0] == "--help" || arguments[0] == "-h") return TaskPolicyRequest{Action::Help, 0};
        if (arguments[0] == "--version") return TaskPolicyRequest{Action::Version, 0};
    }
    std::optional<Action> action;
    std::optional<pid_t> pid;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-b" || argument == "-B") {
            if (action) return unexpected(std::string("give -b or -B once"));
            action = argument == "-b" ? Action::Background : Action::Release;
        } else if (argument == "-p") {
            if (pid) return unexpected(std::string("give -p once"));
            if (i + 1 == arguments.size()) return unexpected(std::string("-p needs a PID"));
            auto parsed = parsePid(arguments[++i]);
            if (!parsed) return unexpected(parsed.error());
            pid = *parsed;
        } else {
            return unexpected("unknown argument \"" + argument + "\"");
        }
    }
    if (!action) return unexpected(std::string("give -b (background) or -B (release)"));
    if (!pid) return unexpected(std::string("give the process with -p PID"));
    return TaskPolicyRequest{*action, *pid};
}

ProcessResult runTaskPolicyCommand(const std::vector<std::string>& arguments, BackgroundPolicy& policy,
                                   RememberedStates* memory) {
    using Action = TaskPolicyRequest::Action;
    auto request = parseTaskPolicyArguments(arguments);
    if (!request) {
        return {taskpolicy_exit::kUsage,
                "taskpolicy: bad arguments: " + request.error() + "; " + kTaskPolicyUsage + "\n"};
    }
    switch (request->action) {
        case Action::Help:
            return {taskpolicy_exit::kSuccess, std::string(kTaskPolicyUsage) + "\n" + kTaskPolicyHelp};
        case Action::Version:
            return {taskpolicy_exit::kSuccess, "taskpolicy " + std::string(kReleaseVersion) + "\n"};
        case Action::Topology:
            return {taskpolicy_exit::kSuccess, describeTopology(policy.topology())};
        case Action::Background:
        case Action::Release:
            break;
    }
    auto done = request->action == Action::Background ? policy.apply(request->pid, memory)
                                                      : policy.release(request->pid, memory);
    if (!done) {
        auto failure = taskPolicyFailureFor(request->pid, done.error());
        return {failure.exitStatus, failure.detail + "\n"};
    }
    return {taskpolicy_exit::kSuccess, ""};
}

std::string describeTopology(const CpuTopology& topology) {
    auto listOrNone = [](const CpuList& cpus) { return cpus.empty() ? std::string("none") : formatCpuList(cpus); };
    std::string text = "performance: " + listOrNone(topology.performanceCPUs()) + "\n" +
                       "efficiency: " + listOrNone(topology.efficiencyCPUs()) + "\n";
    text += "detected from: " + describeTopologyOrigin(topology);
    if (topology.isHybrid()) {
        text += "; background processes run on the efficiency CPUs\n";
    } else {
        text += "\nhomogeneous: all " + std::to_string(topology.onlineCPUs().size()) +
                " online CPUs are of one kind, so background processes keep their CPUs and only get the "
                "lowest priority\n";
    }
    return text;
}

}  // namespace korvane::linux_platform
