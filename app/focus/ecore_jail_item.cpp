#include "app/focus/ecore_jail_item.h"

#include <nlohmann/json.hpp>

#include "app/runtime/uuid.h"

namespace korvane::app {

std::string encodeJailItems(const std::vector<ECoreJailItem>& items) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& item : items) {
        array.push_back({{"id", item.id},
                         {"bundleIdentifier", item.bundleIdentifier},
                         {"appName", item.appName},
                         {"appPath", item.appPath}});
    }
    return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::vector<ECoreJailItem>> decodeJailItems(const std::string& bytes) {
    auto document = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
    if (!document.is_array()) return std::nullopt;
    std::vector<ECoreJailItem> items;
    for (const auto& element : document) {
        if (!element.is_object()) return std::nullopt;
        ECoreJailItem item;
        for (auto [key, field] : {std::pair{"id", &item.id}, std::pair{"bundleIdentifier", &item.bundleIdentifier},
                                  std::pair{"appName", &item.appName}, std::pair{"appPath", &item.appPath}}) {
            auto value = element.find(key);
            if (value == element.end() || !value->is_string()) return std::nullopt;
            *field = value->get<std::string>();
        }
        if (!isUUIDText(item.id)) return std::nullopt;
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace korvane::app
