#include "helper/reply_text.h"

#include "shared/util/text.h"
#include "shared/util/utf8.h"

namespace korvane::helper {

std::string trimmedToolOutput(std::string_view bytes) {
    if (!isValidUtf8(bytes)) return {};
    return std::string(trimmed(bytes, " \t\n\r\v\f"));
}

std::string taskPolicyFailureText(std::int32_t pid, const TaskPolicyFailure& failure) {
    if (failure.kind == TaskPolicyFailureKind::NotLaunched) {
        return "Failed to launch taskpolicy for PID " + std::to_string(pid) + ": " + failure.detail;
    }
    return "taskpolicy failed for PID " + std::to_string(pid) + " with exit code " +
           std::to_string(failure.exitStatus) + ": " + failure.detail;
}

std::string escapedControlCharacters(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

}  // namespace korvane::helper
