#include "app/runtime/string_table.h"

#include <nlohmann/json.hpp>

namespace korvane::app {

// Generated at build time from resources/strings.en.json.
extern const char* const kCompiledStringsJson;

Expected<StringTable, std::string> StringTable::fromJson(std::string_view json) {
    auto document = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) return unexpected(std::string("the string table is not a JSON object"));
    std::map<std::string, std::string, std::less<>> texts;
    for (auto& [key, value] : document.items()) {
        if (!value.is_string()) return unexpected("the text of \"" + key + "\" is not a string");
        texts.emplace(key, value.get<std::string>());
    }
    return StringTable(std::move(texts));
}

const StringTable& StringTable::compiledIn() {
    static const StringTable table = [] {
        auto parsed = fromJson(kCompiledStringsJson);
        // A malformed resource leaves every key showing itself; the tests read it.
        return parsed ? std::move(*parsed) : StringTable();
    }();
    return table;
}

std::string StringTable::text(std::string_view key) const {
    auto it = texts_.find(key);
    return it == texts_.end() ? std::string(key) : it->second;
}

std::string StringTable::format(std::string_view key, const std::vector<FormatArgument>& arguments) const {
    return formatText(text(key), arguments);
}

std::string formatText(std::string_view pattern, const std::vector<FormatArgument>& arguments) {
    std::string out;
    out.reserve(pattern.size() + 16);
    std::size_t next = 0;  // arguments are consumed in order, whatever their kind
    for (std::size_t i = 0; i < pattern.size();) {
        std::string_view rest = pattern.substr(i);
        if (rest.starts_with("%%")) {
            out.push_back('%');
            i += 2;
            continue;
        }
        std::size_t length = rest.starts_with("%@") ? 2 : rest.starts_with("%lld") ? 4 : 0;
        if (length == 0) {
            out.push_back(pattern[i++]);
            continue;
        }
        // Each placeholder takes the next argument, so one of the wrong kind
        // does not shift the others.
        const FormatArgument* argument = next < arguments.size() ? &arguments[next++] : nullptr;
        if (length == 2 && argument && std::holds_alternative<std::string>(*argument)) {
            out += std::get<std::string>(*argument);
        } else if (length == 4 && argument && std::holds_alternative<std::int64_t>(*argument)) {
            out += std::to_string(std::get<std::int64_t>(*argument));
        } else {
            out.append(rest.substr(0, length));
        }
        i += length;
    }
    return out;
}

std::string localized(std::string_view key) { return StringTable::compiledIn().text(key); }

}  // namespace korvane::app
