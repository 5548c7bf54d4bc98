#pragma once
// The application's string table: key to text. The development-language
// texts are compiled into the program from resources/strings.en.json; a key
// without a text shows the key itself. Formats take "%@" for a text and
// "%lld" for a whole number, in order; "%%" is a per-cent sign.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "shared/util/expected.h"

namespace korvane::app {

using FormatArgument = std::variant<std::string, std::int64_t>;

class StringTable {
public:
    StringTable() = default;
    explicit StringTable(std::map<std::string, std::string, std::less<>> texts) : texts_(std::move(texts)) {}

    // Reads a JSON object of key to text.
    static Expected<StringTable, std::string> fromJson(std::string_view json);
    // The table compiled into the program.
    static const StringTable& compiledIn();

    std::string text(std::string_view key) const;
    std::string format(std::string_view key, const std::vector<FormatArgument>& arguments) const;
    bool contains(std::string_view key) const { return texts_.find(key) != texts_.end(); }

private:
    std::map<std::string, std::string, std::less<>> texts_;
};

// Fills "%@", "%lld" and "%%" in `pattern`. Each placeholder takes the next
// argument; one whose argument is missing or of the other kind is left as
// written, and so is anything else after a "%".
std::string formatText(std::string_view pattern, const std::vector<FormatArgument>& arguments);

// The compiled-in table's text for `key`.
std::string localized(std::string_view key);

}  // namespace korvane::app
