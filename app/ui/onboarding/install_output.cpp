#include "app/ui/onboarding/install_output.h"

#include <array>

#include "shared/util/utf8.h"

namespace korvane::app {

namespace {

struct Prefix {
    std::string_view prefix;
    std::string_view icon;
    bool isError;
};

constexpr std::array<Prefix, 4> kPrefixes{{
    {"STEP:", "gear", false},
    {"OK:", "checkmark.circle.fill", false},
    {"ERROR:", "xmark.circle.fill", true},
    {"SUCCESS:", "checkmark.seal.fill", false},
}};

void keepLine(std::string_view line, std::vector<std::string>& lines) {
    // A script written on another system may end its lines with CR LF.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || !isValidUtf8(line)) return;
    lines.emplace_back(line);
}

}  // namespace

std::optional<InstallLogLine> classifyInstallLine(std::string_view line) {
    for (const Prefix& known : kPrefixes) {
        if (line.starts_with(known.prefix)) {
            return InstallLogLine{std::string(known.icon),
                                  std::string(line.substr(known.prefix.size())), known.isError};
        }
    }
    return std::nullopt;
}

std::vector<std::string> InstallLineBuffer::append(std::string_view chunk) {
    pending_.append(chunk);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = pending_.find('\n'); end != std::string::npos;
         end = pending_.find('\n', start)) {
        keepLine(std::string_view(pending_).substr(start, end - start), lines);
        start = end + 1;
    }
    pending_.erase(0, start);
    return lines;
}

std::vector<std::string> InstallLineBuffer::finish() {
    std::vector<std::string> lines;
    keepLine(pending_, lines);
    pending_.clear();
    return lines;
}

}  // namespace korvane::app
