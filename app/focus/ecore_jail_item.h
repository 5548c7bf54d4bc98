#pragma once
// One application of the E-Core Jail and the stored form of the list: a JSON
// array of {"id", "bundleIdentifier", "appName", "appPath"} objects, all four
// required.
#include <optional>
#include <string>
#include <vector>

namespace korvane::app {

struct ECoreJailItem {
    std::string id;  // a UUID, made when the entry is added
    std::string bundleIdentifier;
    std::string appName;
    std::string appPath;

    friend bool operator==(const ECoreJailItem&, const ECoreJailItem&) = default;
};

std::string encodeJailItems(const std::vector<ECoreJailItem>& items);
// The list, or nothing when any element lacks a key, has a value that is not
// a string, or an id that is not a UUID.
std::optional<std::vector<ECoreJailItem>> decodeJailItems(const std::string& bytes);

}  // namespace korvane::app
