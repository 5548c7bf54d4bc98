#include "platform/linux/sway/sway_tree.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace korvane::linux_platform {
namespace {

using nlohmann::json;

// Deeper than any layout a person builds; the walk stops there.
constexpr int kDeepest = 64;

std::string textAt(const json& node, const char* key, std::size_t limit) {
    auto it = node.find(key);
    if (it == node.end() || !it->is_string() || it->get_ref<const std::string&>().size() > limit) return {};
    return it->get<std::string>();
}

bool flag(const json& node, const char* key) {
    auto it = node.find(key);
    return it != node.end() && it->is_boolean() && it->get<bool>();
}

bool isView(const json& node) {
    auto pid = node.find("pid");
    return pid != node.end() && pid->is_number_integer() && node.contains("shell");
}

std::string idOf(const json& node) {
    auto id = node.find("id");
    return id != node.end() && id->is_number_integer() ? std::to_string(id->get<long long>()) : std::string();
}

class TreeWalk {
public:
    explicit TreeWalk(const ReportLimits& limits) : limits_(limits) {}

    // False when the tree holds more windows than the limit.
    bool walk(const json& node, int depth) {
        if (!node.is_object() || depth > kDeepest) return true;
        if (isView(node)) return addView(node);
        if (flag(node, "focused")) focused_ = &node;
        for (const char* children : {"nodes", "floating_nodes"}) {
            auto list = node.find(children);
            if (list == node.end() || !list->is_array()) continue;
            for (const auto& child : *list) {
                if (!walk(child, depth + 1)) return false;
            }
        }
        return true;
    }

    WindowReport report() {
        WindowReport report;
        report.active = focused_ ? lastFocusedView(*focused_, 0) : std::string();
        report.windows = std::move(windows_);
        return report;
    }

private:
    bool addView(const json& node) {
        if (flag(node, "focused")) focused_ = &node;
        if (windows_.size() == limits_.windows) return false;
        auto pid = node.find("pid")->get<long long>();
        ReportedWindow window;
        window.id = idOf(node);
        window.pid = pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? static_cast<pid_t>(pid) : 0;
        window.appID = textAt(node, "app_id", limits_.textBytes);
        if (auto properties = node.find("window_properties"); properties != node.end() && properties->is_object()) {
            window.className = textAt(*properties, "class", limits_.textBytes);
            window.instance = textAt(*properties, "instance", limits_.textBytes);
        }
        if (!window.id.empty()) windows_.push_back(std::move(window));
        return true;
    }

    // The view a container leads to: itself, or down its most recently
    // focused child.
    std::string lastFocusedView(const json& node, int depth) const {
        if (isView(node)) return idOf(node);
        auto focus = node.find("focus");
        if (depth > kDeepest || focus == node.end() || !focus->is_array() || focus->empty()) return {};
        const json& first = focus->front();
        for (const char* children : {"nodes", "floating_nodes"}) {
            auto list = node.find(children);
            if (list == node.end() || !list->is_array()) continue;
            for (const auto& child : *list) {
                if (auto id = child.find("id"); id != child.end() && *id == first) {
                    return lastFocusedView(child, depth + 1);
                }
            }
        }
        return {};
    }

    const ReportLimits& limits_;
    std::vector<ReportedWindow> windows_;
    const json* focused_ = nullptr;
};

}  // namespace

Expected<WindowReport, std::string> parseSwayTree(std::string_view text, const ReportLimits& limits) {
    if (text.size() > limits.messageBytes) {
        return unexpected("a tree of " + std::to_string(text.size()) + " bytes, over the limit of " +
                          std::to_string(limits.messageBytes));
    }
    json tree = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (tree.is_discarded() || !tree.is_object()) return unexpected(std::string("the tree is not a JSON object"));
    TreeWalk walk(limits);
    if (!walk.walk(tree, 0)) {
        return unexpected("more than " + std::to_string(limits.windows) + " windows");
    }
    return walk.report();
}

Expected<bool, std::string> eventMatters(std::string_view text) {
    json event = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (event.is_discarded() || !event.is_object()) return unexpected(std::string("the event is not a JSON object"));
    auto change = event.find("change");
    if (change == event.end() || !change->is_string()) return unexpected(std::string("the event names no change"));
    const auto& what = change->get_ref<const std::string&>();
    return what != "title" && what != "mark" && what != "urgent";
}

}  // namespace korvane::linux_platform
