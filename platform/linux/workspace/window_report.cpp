#include "platform/linux/workspace/window_report.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace korvane::linux_platform {
namespace {

using nlohmann::json;

// The string at `key`, empty when absent; nothing when it is not a string or
// is longer than the limit.
std::optional<std::string> text(const json& object, const char* key, std::size_t limit) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return std::string();
    if (!it->is_string() || it->get_ref<const std::string&>().size() > limit) return std::nullopt;
    return it->get<std::string>();
}

// A name a client gave its window: any client can make it as long as it
// likes, which must not hide the other windows, so one over the limit says
// nothing.
std::optional<std::string> clientText(const json& object, const char* key, std::size_t limit) {
    auto it = object.find(key);
    if (it != object.end() && it->is_string() && it->get_ref<const std::string&>().size() > limit) {
        return std::string();
    }
    return text(object, key, limit);
}

std::optional<ReportedWindow> windowOf(const json& item, const ReportLimits& limits) {
    if (!item.is_object()) return std::nullopt;
    ReportedWindow window;
    auto id = text(item, "id", limits.textBytes);
    auto appID = clientText(item, "appId", limits.textBytes);
    auto className = clientText(item, "class", limits.textBytes);
    auto instance = clientText(item, "instance", limits.textBytes);
    auto kind = text(item, "kind", limits.textBytes);
    if (!id || id->empty() || !appID || !className || !instance || !kind) return std::nullopt;
    window.id = std::move(*id);
    window.appID = std::move(*appID);
    window.className = std::move(*className);
    window.instance = std::move(*instance);
    if (*kind == "other") window.kind = WindowKind::other;
    else if (*kind == "excluded") window.kind = WindowKind::excluded;
    else if (!kind->empty() && *kind != "normal") return std::nullopt;

    auto pid = item.find("pid");
    if (pid == item.end() || !pid->is_number_integer()) return std::nullopt;
    // Compositors say -1 for a window whose process they do not know.
    auto value = pid->get<long long>();
    if (value > std::numeric_limits<pid_t>::max()) return std::nullopt;
    window.pid = value > 0 ? static_cast<pid_t>(value) : 0;
    auto skip = item.find("skipTaskbar");
    if (skip != item.end()) {
        if (!skip->is_boolean()) return std::nullopt;
        window.skipTaskbar = skip->get<bool>();
    }
    return window;
}

}  // namespace

Expected<WindowReport, std::string> parseWindowReport(std::string_view message, const ReportLimits& limits) {
    if (message.size() > limits.messageBytes) {
        return unexpected("a message of " + std::to_string(message.size()) + " bytes, over the limit of " +
                          std::to_string(limits.messageBytes));
    }
    json document = json::parse(message, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded() || !document.is_object()) return unexpected(std::string("not a JSON object"));

    WindowReport report;
    if (auto windows = document.find("windows"); windows != document.end()) {
        if (!windows->is_array()) return unexpected(std::string("\"windows\" is not a list"));
        if (windows->size() > limits.windows) {
            return unexpected(std::to_string(windows->size()) + " windows, over the limit of " +
                              std::to_string(limits.windows));
        }
        report.windows.emplace();
        for (const auto& item : *windows) {
            auto window = windowOf(item, limits);
            if (!window) return unexpected("a window not of the expected shape: " + item.dump().substr(0, 200));
            report.windows->push_back(std::move(*window));
        }
    }
    if (document.contains("active")) {
        auto active = text(document, "active", limits.textBytes);
        if (!active) return unexpected(std::string("\"active\" is not a window ID"));
        report.active = std::move(*active);
    }
    if (!report.windows && !report.active) return unexpected(std::string("neither \"windows\" nor \"active\""));
    return report;
}

}  // namespace korvane::linux_platform
