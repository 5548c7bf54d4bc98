#pragma once
// One running graphical application as the focus engine lists it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/focus/workspace.h"

namespace korvane::app {

struct AppInfo {
    std::int32_t id = 0;  // the process identifier; the record's identity
    std::string name;
    std::optional<std::string> bundleIdentifier;
    std::optional<AppIcon> icon;

    // Two instances of one program are two entries; one process is one entry
    // whatever its name or icon says at the moment.
    friend bool operator==(const AppInfo& a, const AppInfo& b) { return a.id == b.id; }
};

}  // namespace korvane::app

template <>
struct std::hash<korvane::app::AppInfo> {
    std::size_t operator()(const korvane::app::AppInfo& app) const noexcept { return std::hash<std::int32_t>()(app.id); }
};
