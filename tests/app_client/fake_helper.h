#pragma once
// An in-process stand-in for the daemon, served on a real socket by the
// helper's own HelperService: it records every message and answers as the
// test scripts it.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "helper/helper_service.h"
#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::testing {

class FakeHelper final : public KorvaneXPCProtocol {
public:
    using Failure = std::optional<std::string>;  // the message of a failure reply

    void throttleProcess(std::int32_t pid, ReplyBlock reply) override {
        answer("throttle " + std::to_string(pid), failureFor(throttleFailures, pid), reply);
    }
    void unthrottleProcess(std::int32_t pid, ReplyBlock reply) override {
        answer("unthrottle " + std::to_string(pid), failureFor(unthrottleFailures, pid), reply);
    }
    void throttleMultipleProcesses(std::vector<std::int32_t> pids, ReplyBlock reply) override {
        std::string text = "throttleMultiple [";
        for (auto pid : pids) text += " " + std::to_string(pid);
        answer(text + " ]", multipleFailure(), reply);
    }
    void unthrottleAllProcesses(ReplyBlock reply) override { answer("unthrottleAll", {}, reply); }
    void ping(PingReplyBlock reply) override {
        record("ping");
        reply(true);
    }
    void updateJailedBundleIDs(std::vector<std::string> ids, ReplyBlock reply) override {
        std::string text = "jail [";
        for (auto& id : ids) text += " " + id;
        answer(text + " ]", {}, reply);
    }
    void setBeastMode(bool enabled, std::int32_t focusPID, ReplyBlock reply) override {
        answer("beast " + std::string(enabled ? "on " : "off ") + std::to_string(focusPID), {}, reply);
    }
    void setFanControlMode(std::int64_t fanIndex, bool isManual, ReplyBlock reply) override {
        answer("fanMode " + std::to_string(fanIndex) + (isManual ? " manual" : " auto"), fanFailure(), reply);
    }
    void setFanTargetRPM(std::int64_t fanIndex, std::int64_t rpm, ReplyBlock reply) override {
        answer("fanRPM " + std::to_string(fanIndex) + " " + std::to_string(rpm), fanFailure(), reply);
    }

    // Scripts, set before the calls they concern.
    void failThrottleMultiple(Failure message) {
        setScript([&] {
            multipleFails_ = true;
            multipleMessage_ = message;
        });
    }
    void failFanCommands(std::string message) { setScript([&] { fanMessage_ = std::move(message); }); }
    void failUnthrottle(std::int32_t pid, Failure message) { setScript([&] { unthrottleFailures[pid] = message; }); }
    void clearFailures() {
        setScript([&] {
            unthrottleFailures.clear();
            throttleFailures.clear();
            multipleFails_ = false;
            fanMessage_.reset();
        });
    }

    std::vector<std::string> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    // Everything but the pings of status checks.
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (auto& r : received()) {
            if (r != "ping") out.push_back(r);
        }
        return out;
    }

private:
    struct Scripted {
        bool fails;
        Failure message;
    };
    template <class F>
    void setScript(F&& change) {
        std::lock_guard lock(mutex_);
        change();
    }
    void record(std::string what) {
        std::lock_guard lock(mutex_);
        received_.push_back(std::move(what));
    }
    std::optional<Scripted> failureFor(const std::map<std::int32_t, Failure>& failures, std::int32_t pid) {
        std::lock_guard lock(mutex_);
        auto it = failures.find(pid);
        if (it == failures.end()) return std::nullopt;
        return Scripted{true, it->second};
    }
    std::optional<Scripted> multipleFailure() {
        std::lock_guard lock(mutex_);
        if (!multipleFails_) return std::nullopt;
        return Scripted{true, multipleMessage_};
    }
    std::optional<Scripted> fanFailure() {
        std::lock_guard lock(mutex_);
        if (!fanMessage_) return std::nullopt;
        return Scripted{true, fanMessage_};
    }
    void answer(std::string what, std::optional<Scripted> failure, const ReplyBlock& reply) {
        record(std::move(what));
        if (failure) {
            reply(false, failure->message);
        } else {
            reply(true, std::nullopt);
        }
    }

    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::map<std::int32_t, Failure> throttleFailures;
    std::map<std::int32_t, Failure> unthrottleFailures;
    bool multipleFails_ = false;
    Failure multipleMessage_;
    Failure fanMessage_;
};

// A private folder for a test's socket and installed-file tree.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-client-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The fake, listening on `socketPath` until stopped or destroyed.
class ServedFakeHelper {
public:
    explicit ServedFakeHelper(const std::string& socketPath) : service_(helper, ::getuid()) {
        listening_ = static_cast<bool>(service_.listen(socketPath));
        if (listening_) service_.start();
    }
    bool listening() const { return listening_; }
    void stop() { service_.stop(); }

    FakeHelper helper;

private:
    helper::HelperService service_;
    bool listening_ = false;
};

}  // namespace korvane::testing
