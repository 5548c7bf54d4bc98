#pragma once
// The progress lines an installation prints ("STEP:", "OK:", "ERROR:",
// "SUCCESS:"), read from its output as it arrives. A line may arrive split
// across pieces of output; it is handed on only once it is whole.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::app {

enum class InstallProgressKind { step, ok, error, success };

struct InstallProgressLine {
    InstallProgressKind kind = InstallProgressKind::step;
    std::string text;  // without its prefix
    bool operator==(const InstallProgressLine&) const = default;
};

// The line's kind and text, or nothing for a line without a known prefix.
std::optional<InstallProgressLine> parseInstallProgressLine(std::string_view line);

class InstallProgressReader {
public:
    explicit InstallProgressReader(std::function<void(InstallProgressLine)> onLine) : onLine_(std::move(onLine)) {}

    // Any piece of output; whole progress lines in it are handed on.
    void feed(std::string_view chunk);
    // The output has ended: a last line without a line feed counts too.
    void finish();

private:
    void handle(std::string_view line);

    std::function<void(InstallProgressLine)> onLine_;
    std::string pending_;
};

}  // namespace korvane::app
