#include "shared/smc/smc_error.h"

namespace korvane {

std::string_view smcErrorName(SMCError error) {
    switch (error) {
        case SMCError::connectionFailed: return "connectionFailed";
        case SMCError::keyNotFound: return "keyNotFound";
        case SMCError::readFailed: return "readFailed";
        case SMCError::writeFailed: return "writeFailed";
    }
    return "unknown";
}

}  // namespace korvane
