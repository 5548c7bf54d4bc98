#include "app/focus/named_app.h"

#include <nlohmann/json.hpp>

namespace korvane::app {

std::string encodeNamedApps(const std::vector<NamedApp>& apps) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& app : apps) array.push_back({{"name", app.name}, {"bundleIdentifier", app.bundleIdentifier}});
    // Invalid UTF-8 in a name is replaced rather than failing the whole list.
    return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::vector<NamedApp>> decodeNamedApps(const std::string& bytes) {
    auto document = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
    if (!document.is_array()) return std::nullopt;
    std::vector<NamedApp> apps;
    for (const auto& element : document) {
        if (!element.is_object()) return std::nullopt;
        auto name = element.find("name");
        auto bundle = element.find("bundleIdentifier");
        if (name == element.end() || !name->is_string()) return std::nullopt;
        if (bundle == element.end() || !bundle->is_string()) return std::nullopt;
        apps.push_back({name->get<std::string>(), bundle->get<std::string>()});
    }
    return apps;
}

}  // namespace korvane::app
