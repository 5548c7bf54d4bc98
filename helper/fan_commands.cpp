// Fan commands of HelperTool. Without an SMC layer the machine has no fan the
// helper could drive, so both commands report the connection failure.
#include "helper/helper_tool.h"
#include "shared/log/log.h"

namespace korvane::helper {

void HelperTool::setFanControlMode(std::int64_t, bool, ReplyBlock reply) {
    const std::string message = "SMC connection failed — cannot set fan mode";
    log::write("KorvaneHelper: " + message);
    reply(false, message);
}

void HelperTool::setFanTargetRPM(std::int64_t, std::int64_t, ReplyBlock reply) {
    const std::string message = "SMC connection failed — cannot set fan RPM";
    log::write("KorvaneHelper: " + message);
    reply(false, message);
}

}  // namespace korvane::helper
