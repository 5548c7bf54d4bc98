#include "app/client/install_progress.h"

#include <array>
#include <utility>

#include "shared/util/utf8.h"

namespace korvane::app {

std::optional<InstallProgressLine> parseInstallProgressLine(std::string_view line) {
    static constexpr std::array<std::pair<std::string_view, InstallProgressKind>, 4> kPrefixes{{
        {"STEP:", InstallProgressKind::step},
        {"OK:", InstallProgressKind::ok},
        {"ERROR:", InstallProgressKind::error},
        {"SUCCESS:", InstallProgressKind::success},
    }};
    for (const auto& [prefix, kind] : kPrefixes) {
        if (line.starts_with(prefix)) return InstallProgressLine{kind, std::string(line.substr(prefix.size()))};
    }
    return std::nullopt;
}

void InstallProgressReader::feed(std::string_view chunk) {
    pending_.append(chunk);
    std::size_t start = 0;
    for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n', start)) {
        handle(std::string_view(pending_).substr(start, end - start));
        start = end + 1;
    }
    pending_.erase(0, start);
}

void InstallProgressReader::finish() {
    if (!pending_.empty()) handle(pending_);
    pending_.clear();
}

void InstallProgressReader::handle(std::string_view line) {
    if (line.empty() || !isValidUtf8(line)) return;
    if (auto progress = parseInstallProgressLine(line)) onLine_(std::move(*progress));
}

}  // namespace korvane::app
