#include "app/runtime/app_log.h"

#include <string>

#include "shared/log/log.h"

namespace korvane::app {
namespace {

void writeWithPrefix(std::string_view prefix, std::string_view message) {
    std::string line;
    line.reserve(prefix.size() + message.size());
    line.append(prefix).append(message);
    log::write(line);
}

}  // namespace

void logLine(std::string_view message) { writeWithPrefix("Korvane: ", message); }

void logFanLine(std::string_view message) { writeWithPrefix("FanManager: ", message); }

}  // namespace korvane::app
