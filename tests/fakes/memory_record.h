#pragma once
// A record kept in memory, as the helper's runtime folder keeps it on disk;
// it outlives the object that wrote it, as the file outlives a killed helper.
#include <optional>
#include <string>

#include "shared/util/state_file.h"

namespace korvane::testing {

struct MemoryRecord final : StateFile {
    std::optional<std::string> load() override { return text; }
    bool save(std::string_view contents) override {
        text = contents.empty() ? std::nullopt : std::optional(std::string(contents));
        return true;
    }
    std::optional<std::string> text;
};

}  // namespace korvane::testing
