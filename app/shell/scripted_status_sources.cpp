#include "app/shell/scripted_status_sources.h"

#include <charconv>

namespace korvane::app {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

std::optional<double> number(std::string_view text) {
    // from_chars for double is not in every standard library we build with.
    try {
        std::size_t used = 0;
        const std::string copy(text);
        const double value = std::stod(copy, &used);
        if (used != copy.size()) return std::nullopt;
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<CoreUsage> cores(std::string_view list, bool performance, std::int64_t firstId) {
    std::vector<CoreUsage> result;
    if (list.empty()) return result;
    for (auto part : split(list, ',')) {
        if (auto value = number(part)) result.push_back(CoreUsage{firstId + static_cast<std::int64_t>(result.size()), *value, performance});
    }
    return result;
}

}  // namespace

ScriptedStatus parseScriptedStatus(std::string_view coreUsage, std::string_view focus) {
    ScriptedStatus status;
    auto groups = split(coreUsage, ';');
    status.pCores = cores(groups[0], true, 0);
    if (groups.size() > 1) status.eCores = cores(groups[1], false, static_cast<std::int64_t>(status.pCores.size()));
    if (!focus.empty()) {
        auto fields = split(focus, ';');
        status.focusedApp = std::string(fields[0]);
        if (fields.size() > 1) status.focusedIcon.themeNameOrPath = std::string(fields[1]);
        if (fields.size() > 2) status.averagePCoreUsage = number(fields[2]).value_or(0.0);
    }
    return status;
}

StatusBarSources scriptedSources(const ScriptedStatus& status) {
    auto sources = StatusBarSources::idle();
    const bool focused = status.focusedApp.has_value();
    sources.autoFocusActive = Binding<bool>::constant(focused);
    sources.focusedAppIcon = Binding<std::optional<AppIcon>>::constant(focused ? std::optional(status.focusedIcon) : std::nullopt);
    sources.focusedAppName = Binding<std::string>::constant(status.focusedApp.value_or(""));
    sources.pCoreUsages = Binding<std::vector<CoreUsage>>::constant(status.pCores);
    sources.eCoreUsages = [e = status.eCores] { return e; };
    sources.averagePCoreUsage = [a = status.averagePCoreUsage] { return a; };
    return sources;
}

}  // namespace korvane::app
