#pragma once
// Fan commands: thin writes of one SMC key each. The fan policy (when
// manual, which speed, safety limits) belongs to the application.
#include <cstdint>

#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::helper {

class FanCommands {
public:
    void setControlMode(std::int64_t fanIndex, bool isManual, const ReplyBlock& reply);
    void setTargetRPM(std::int64_t fanIndex, std::int64_t targetRPM, const ReplyBlock& reply);
};

}  // namespace korvane::helper
