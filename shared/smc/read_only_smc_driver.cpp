#include "shared/smc/read_only_smc_driver.h"

namespace korvane {

Expected<std::uint32_t, SMCDriverFailure> ReadOnlySMCDriver::open(std::string_view serviceName) {
    return inner_->open(serviceName);
}

Expected<SMCParamStruct, SMCDriverFailure> ReadOnlySMCDriver::exchange(std::uint32_t connection,
                                                                     const SMCParamStruct& request) {
    if (request.command != smc_command::kWriteKey) return inner_->exchange(connection, request);
    SMCParamStruct refused;
    refused.key = request.key;
    refused.result = smc_result::kKeyNotWritable;
    return refused;
}

void ReadOnlySMCDriver::close(std::uint32_t connection) { inner_->close(connection); }

}  // namespace korvane
