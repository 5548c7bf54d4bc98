#pragma once
// A record in the helper's runtime folder (/run/korvane): replaced whole
// through a temporary file, so a helper killed mid-write leaves either the
// old record or the new one.
#include <string>

#include "shared/util/state_file.h"

namespace korvane::helper {

// Record names in the runtime folder.
inline constexpr const char* kFanRecordName = "fans.state";
inline constexpr const char* kThrottledRecordName = "throttled.state";
inline constexpr const char* kThreadStatesRecordName = "thread-states.state";

class RuntimeStateFile final : public StateFile {
public:
    explicit RuntimeStateFile(std::string path) : path_(std::move(path)) {}

    std::optional<std::string> load() override;
    bool save(std::string_view contents) override;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace korvane::helper
