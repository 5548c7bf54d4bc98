#pragma once
// Where the identity of each running process came from, kept between scans.
// Finding it asks systemd twice and reads several /proc files per process;
// the jail scans every process every 5 seconds, and an identity does not
// change while a process runs the same program. Only the per-scan reading of
// application IDs from these origins follows the jail's own rules.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shared/identity/app_identity.h"

namespace korvane::helper {

class OriginMemo {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // A launcher moves a new process into its application's systemd unit a
    // moment after starting it; until this long after we first saw a process,
    // its origin is looked up afresh on every scan.
    static constexpr std::chrono::seconds kSettleTime{2};

    explicit OriginMemo(Clock now) : now_(std::move(now)) {}

    // The origin of `pid` running `arguments` (its listing line): remembered
    // from an earlier scan, or found by `find`. A new command line means a
    // new program or a new process under a reused pid. An origin found at
    // `generation` stays as long as `lastChangeOf` its folders is not later:
    // a folder that changes on every scan costs only the processes whose
    // answers rest on it.
    using LastChange = std::function<std::uint64_t(const std::vector<std::string>& folders)>;
    std::optional<identity::AppOrigin> originOf(std::int32_t pid, std::string_view arguments,
                                                std::uint64_t generation,
                                                const std::function<identity::FoundOrigin()>& find,
                                                const LastChange& lastChangeOf);

    // Forgets processes that a complete listing no longer shows.
    void keepOnly(const std::function<bool(std::int32_t pid)>& listed);

private:
    struct Entry {
        std::string arguments;
        std::optional<identity::AppOrigin> origin;
        std::vector<std::string> folders;
        std::uint64_t foundAt = 0;
        std::chrono::steady_clock::time_point firstSeen;
        bool settled = false;
    };

    Clock now_;
    std::mutex mutex_;
    std::unordered_map<std::int32_t, Entry> entries_;
};

}  // namespace korvane::helper
