#pragma once
// The four ways an SMC exchange can fail, as the bridge reports them.
#include <string_view>

namespace korvane {

enum class SMCError {
    connectionFailed,
    keyNotFound,
    readFailed,
    writeFailed,
};

// The case name ("writeFailed"), which is what every message shows.
std::string_view smcErrorName(SMCError error);

}  // namespace korvane
