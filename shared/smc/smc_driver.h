#pragma once
// What stands between the bridge and the SMC: open a service by name, trade
// one parameter record for another, close. The bridge owns the protocol (keys,
// commands, encodings); a driver only answers records.
#include <cstdint>
#include <string_view>

#include "shared/smc/smc_param_record.h"
#include "shared/util/expected.h"

namespace korvane {

enum class SMCDriverFailure {
    serviceNotFound,  // no service of that name on this machine
    openRefused,      // the service exists but would not open
    exchangeFailed,   // the record never reached the SMC (the reply's result is meaningless)
};

class SMCDriver {
public:
    virtual ~SMCDriver() = default;

    // A connection handle, never 0.
    virtual Expected<std::uint32_t, SMCDriverFailure> open(std::string_view serviceName) = 0;
    // One exchange. Success means the record went through; whether the
    // command worked is the reply's `result`.
    virtual Expected<SMCParamStruct, SMCDriverFailure> exchange(std::uint32_t connection,
                                                                const SMCParamStruct& request) = 0;
    virtual void close(std::uint32_t connection) = 0;
};

}  // namespace korvane
