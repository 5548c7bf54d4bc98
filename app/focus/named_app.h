#pragma once
// The records of the Auto-Focus target list and the Auto-Trigger list: a
// display name and the bundle identifier that is matched, stored as a JSON
// array of {"name", "bundleIdentifier"} objects.
#include <optional>
#include <string>
#include <vector>

namespace korvane::app {

struct AutoFocusTarget {
    std::string name;
    std::string bundleIdentifier;

    const std::string& id() const { return bundleIdentifier; }
    friend bool operator==(const AutoFocusTarget&, const AutoFocusTarget&) = default;
};

struct AutoTriggerApp {
    std::string name;
    std::string bundleIdentifier;

    const std::string& id() const { return bundleIdentifier; }
    friend bool operator==(const AutoTriggerApp&, const AutoTriggerApp&) = default;
};

struct NamedApp {
    std::string name;
    std::string bundleIdentifier;
};

// The UTF-8 JSON text of the list, in list order.
std::string encodeNamedApps(const std::vector<NamedApp>& apps);
// The list, or nothing when the text is not an array of objects that each
// carry both keys as strings.
std::optional<std::vector<NamedApp>> decodeNamedApps(const std::string& bytes);

template <class Record>
std::string encodeList(const std::vector<Record>& records) {
    std::vector<NamedApp> plain;
    plain.reserve(records.size());
    for (const auto& r : records) plain.push_back({r.name, r.bundleIdentifier});
    return encodeNamedApps(plain);
}

template <class Record>
std::optional<std::vector<Record>> decodeList(const std::string& bytes) {
    auto plain = decodeNamedApps(bytes);
    if (!plain) return std::nullopt;
    std::vector<Record> records;
    records.reserve(plain->size());
    for (auto& p : *plain) records.push_back({std::move(p.name), std::move(p.bundleIdentifier)});
    return records;
}

}  // namespace korvane::app
