#pragma once
// A stand-in for the daemon's methods: it records every message as a line of
// text and fails the ones the test names.
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::testing {

class FakeHelper final : public KorvaneXPCProtocol {
public:
    void throttleProcess(std::int32_t pid, ReplyBlock r) override { answer("throttle " + std::to_string(pid), r); }
    void unthrottleProcess(std::int32_t pid, ReplyBlock r) override { answer("unthrottle " + std::to_string(pid), r); }
    void throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock r) override {
        std::string text = "throttleMultiple [";
        for (auto pid : pids) text += " " + std::to_string(pid);
        answer(text + " ]", r);
    }
    void unthrottleAllProcesses(ReplyBlock r) override { answer("unthrottleAll", r); }
    void ping(PingReplyBlock r) override { r(record("ping")); }
    void updateJailedBundleIDs(std::vector<std::string> ids, ReplyBlock r) override {
        std::string text = "jail [";
        for (auto& id : ids) text += " " + id;
        answer(text + " ]", r);
    }
    void setBeastMode(bool on, std::int32_t pid, ReplyBlock r) override {
        answer(std::string(on ? "beast on " : "beast off ") + std::to_string(pid), r);
    }
    void setFanControlMode(std::int64_t fan, bool manual, ReplyBlock r) override {
        answer("fanMode " + std::to_string(fan) + (manual ? " manual" : " auto"), r);
    }
    void setFanTargetRPM(std::int64_t fan, std::int64_t rpm, ReplyBlock r) override {
        answer("fanRPM " + std::to_string(fan) + " " + std::to_string(rpm), r);
    }

    // The message `command` (as recorded) is answered with failure and `reason`.
    void fail(const std::string& command, std::optional<std::string> reason) {
        std::lock_guard lock(mutex_);
        failures_[command] = std::move(reason);
    }
    void clearFailures() {
        std::lock_guard lock(mutex_);
        failures_.clear();
    }
    // Said with every success: the protocol must drop it.
    std::optional<std::string> successNote;
    // Every message but the status checks' pings.
    std::vector<std::string> commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    // Records `command`; true unless it is to fail.
    bool record(const std::string& command) {
        std::lock_guard lock(mutex_);
        if (command != "ping") commands_.push_back(command);
        return !failures_.contains(command);
    }
    void answer(const std::string& command, const ReplyBlock& reply) {
        if (record(command)) return reply(true, successNote);
        std::unique_lock lock(mutex_);
        auto reason = failures_[command];
        lock.unlock();
        reply(false, reason);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::map<std::string, std::optional<std::string>> failures_;
};

}  // namespace korvane::testing
