#pragma once
// The process table as `ps -eo pid,args` prints it, read straight from /proc:
// a header line, then one line per process, the pid in decimal, one space and
// the full command line.
#include <string>

#include "shared/util/expected.h"

namespace korvane::linux_platform {

// Kernel threads and zombies (no command line) are left out. Arguments are
// joined by spaces; control characters and bytes that are not UTF-8 become
// "?", as ps shows them, so one odd command line can neither split into
// several lines nor spoil the whole listing. The error says why /proc could
// not be read.
Expected<std::string, std::string> readProcessListing(const std::string& procRoot = "/proc");

}  // namespace korvane::linux_platform
