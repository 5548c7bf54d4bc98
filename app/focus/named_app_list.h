#pragma once
// The stored name-and-identifier list that Auto-Focus (targets) and
// Auto-Trigger (triggers) keep: edited by the same rules and stored under
// one key as the same JSON form.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/focus/named_app.h"
#include "app/runtime/published.h"
#include "app/runtime/settings_store.h"

namespace korvane::app {

template <class Record>
class NamedAppList {
public:
    NamedAppList(Published<std::vector<Record>>& list, SettingsStore& settings, std::string_view key)
        : list_(list), settings_(settings), key_(key) {}

    bool contains(std::string_view bundleID) const {
        const auto& records = list_.get();
        return std::any_of(records.begin(), records.end(),
                           [&](const Record& r) { return r.bundleIdentifier == bundleID; });
    }
    // Appends unless the identifier is empty or already listed.
    void add(const std::string& name, const std::string& bundleID) {
        if (bundleID.empty() || contains(bundleID)) return;
        list_.modify([&](std::vector<Record>& records) { records.push_back({name, bundleID}); });
    }
    void removeByID(std::string_view bundleID) {
        list_.modify([&](std::vector<Record>& records) {
            std::erase_if(records, [&](const Record& r) { return r.bundleIdentifier == bundleID; });
        });
    }
    void save() { settings_.setData(key_, encodeList(list_.get())); }
    // A stored list that cannot be read is left stored as it is and ignored.
    void load() {
        auto bytes = settings_.dataValue(key_);
        if (!bytes) return;
        if (auto decoded = decodeList<Record>(*bytes)) list_ = std::move(*decoded);
    }

private:
    Published<std::vector<Record>>& list_;
    SettingsStore& settings_;
    std::string key_;
};

}  // namespace korvane::app
