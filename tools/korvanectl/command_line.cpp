#include "tools/korvanectl/command_line.h"

#include <charconv>
#include <string_view>
#include <vector>

namespace korvane::ctl {
namespace {

template <class Int>
Expected<Int, std::string> parseInteger(std::string_view text, const char* what) {
    Int value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return unexpected("not a valid " + std::string(what) + ": '" + std::string(text) + "'");
    }
    return value;
}

Expected<msg::Call, std::string> parseCall(const std::vector<std::string_view>& words) {
    auto command = words[0];
    auto args = std::vector<std::string_view>(words.begin() + 1, words.end());
    auto expectCount = [&](std::size_t n) -> std::optional<std::string> {
        if (args.size() == n) return std::nullopt;
        return std::string(command) + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s");
    };
    if (command == "ping" || command == "unthrottle-all") {
        if (auto e = expectCount(0)) return unexpected(*e);
        if (command == "ping") return msg::Call(msg::Ping{});
        return msg::Call(msg::UnthrottleAllProcesses{});
    }
    if (command == "throttle" || command == "unthrottle") {
        if (auto e = expectCount(1)) return unexpected(*e);
        auto pid = parseInteger<std::int32_t>(args[0], "pid");
        if (!pid) return unexpected(pid.error());
        if (command == "throttle") return msg::Call(msg::ThrottleProcess{*pid});
        return msg::Call(msg::UnthrottleProcess{*pid});
    }
    if (command == "throttle-many") {
        msg::ThrottleMultipleProcesses m;
        for (auto a : args) {
            auto pid = parseInteger<std::int32_t>(a, "pid");
            if (!pid) return unexpected(pid.error());
            m.pids.push_back(*pid);
        }
        return msg::Call(std::move(m));
    }
    if (command == "jail") {
        msg::UpdateJailedBundleIDs m;
        for (auto a : args) m.bundleIDs.emplace_back(a);
        return msg::Call(std::move(m));
    }
    if (command == "beast") {
        if (args.size() == 1 && args[0] == "off") return msg::Call(msg::SetBeastMode{false, 0});
        if (args.size() == 2 && args[0] == "on") {
            auto pid = parseInteger<std::int32_t>(args[1], "pid");
            if (!pid) return unexpected(pid.error());
            return msg::Call(msg::SetBeastMode{true, *pid});
        }
        return unexpected(std::string("beast takes 'on PID' or 'off'"));
    }
    if (command == "fan-mode") {
        if (auto e = expectCount(2)) return unexpected(*e);
        auto index = parseInteger<std::int64_t>(args[0], "fan index");
        if (!index) return unexpected(index.error());
        if (args[1] != "manual" && args[1] != "auto") return unexpected(std::string("fan mode is 'manual' or 'auto'"));
        return msg::Call(msg::SetFanControlMode{*index, args[1] == "manual"});
    }
    if (command == "fan-rpm") {
        if (auto e = expectCount(2)) return unexpected(*e);
        auto index = parseInteger<std::int64_t>(args[0], "fan index");
        if (!index) return unexpected(index.error());
        auto rpm = parseInteger<std::int64_t>(args[1], "speed");
        if (!rpm) return unexpected(rpm.error());
        return msg::Call(msg::SetFanTargetRPM{*index, *rpm});
    }
    return unexpected("unknown command '" + std::string(command) + "'");
}

}  // namespace

Expected<Invocation, std::string> parseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string_view> words(argv + 1, argv + argc);
    Invocation invocation;
    while (!words.empty() && (words[0] == "--socket" || words[0] == "--timeout")) {
        if (words[0] == "--socket") {
            if (words.size() < 2) return unexpected(std::string("--socket needs a path"));
            invocation.socketPath = std::string(words[1]);
        } else {
            if (words.size() < 2) return unexpected(std::string("--timeout needs a number of seconds"));
            auto seconds = parseInteger<int>(words[1], "number of seconds");
            if (!seconds) return unexpected(seconds.error());
            if (*seconds < 1 || *seconds > 86400) {
                return unexpected(std::string("--timeout takes 1 to 86400 seconds"));
            }
            invocation.timeoutSeconds = *seconds;
        }
        words.erase(words.begin(), words.begin() + 2);
    }
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h" || words[0] == "help")) {
        invocation.showHelp = true;
        return invocation;
    }
    if (words.size() == 1 && words[0] == "--version") {
        invocation.showVersion = true;
        return invocation;
    }
    if (words.empty()) return unexpected(std::string("no command given"));
    auto call = parseCall(words);
    if (!call) return unexpected(call.error());
    invocation.call = std::move(*call);
    return invocation;
}

}  // namespace korvane::ctl
