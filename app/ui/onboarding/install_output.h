#pragma once
// What the installation prints, turned into log entries. The installer
// reports progress as lines beginning "STEP:", "OK:", "ERROR:" or "SUCCESS:";
// anything else it prints is not shown.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::app {

// One line of the install page's log, before it gets its identity.
struct InstallLogLine {
    std::string icon;  // symbol name
    std::string text;
    bool isError = false;
    bool operator==(const InstallLogLine&) const = default;
};

// The entry for one complete line, or nothing for a line without a known prefix.
std::optional<InstallLogLine> classifyInstallLine(std::string_view line);

// Cuts standard output into lines. A pipe hands over whatever the installer
// has written so far, so a line can arrive in several reads, and a UTF-8
// character can be split between two of them: bytes are kept until their line
// ends. Lines that are empty or not valid UTF-8 are dropped.
class InstallLineBuffer {
  public:
    // The lines that `chunk` completes, in order.
    std::vector<std::string> append(std::string_view chunk);
    // The last line when the output ended without a line feed.
    std::vector<std::string> finish();

  private:
    std::string pending_;
};

}  // namespace korvane::app
