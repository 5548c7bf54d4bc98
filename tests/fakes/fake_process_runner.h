#pragma once
// A ProcessRunner that records every run and answers from a script: by
// default exit 0 with no output; chosen pids (the last argument) fail or
// cannot be launched.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "shared/process/process_runner.h"

namespace korvane::testing {

class FakeProcessRunner final : public ProcessRunner {
public:
    Expected<ProcessResult, LaunchError> run(const std::string& path, const std::vector<std::string>& arguments,
                                             OutputCapture) override {
        std::string key = arguments.empty() ? std::string() : arguments.back();
        std::string line = path;
        for (const auto& argument : arguments) line += " " + argument;
        std::lock_guard lock(mutex_);
        runs_.push_back(line);
        if (auto it = launchFailures_.find(key); it != launchFailures_.end()) {
            return unexpected(LaunchError{it->second});
        }
        if (auto it = failures_.find(key); it != failures_.end()) return it->second;
        return ProcessResult{0, {}};
    }

    // Runs whose last argument is `lastArgument` exit with `status` and print `output`.
    void failFor(const std::string& lastArgument, int status, std::string output = {}) {
        std::lock_guard lock(mutex_);
        failures_[lastArgument] = ProcessResult{status, std::move(output)};
    }
    void failToLaunchFor(const std::string& lastArgument, std::string reason) {
        std::lock_guard lock(mutex_);
        launchFailures_[lastArgument] = std::move(reason);
    }

    // The runs as "/path -b -p 42" strings, in order.
    std::vector<std::string> commandLines() const {
        std::lock_guard lock(mutex_);
        return runs_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> runs_;
    std::map<std::string, ProcessResult> failures_;
    std::map<std::string, std::string> launchFailures_;
};

}  // namespace korvane::testing
