#pragma once
// A driver that passes reads through and refuses every write without letting
// it reach the driver underneath. The application reads the SMC as the user;
// its changes go only through the helper, and this makes sure no code path of
// the application can write a fan setting of its own.
#include <memory>

#include "shared/smc/smc_driver.h"

namespace korvane {

class ReadOnlySMCDriver final : public SMCDriver {
public:
    explicit ReadOnlySMCDriver(std::shared_ptr<SMCDriver> inner) : inner_(std::move(inner)) {}

    Expected<std::uint32_t, SMCDriverFailure> open(std::string_view serviceName) override;
    // A write request is answered "not writable"; the bridge reports writeFailed.
    Expected<SMCParamStruct, SMCDriverFailure> exchange(std::uint32_t connection,
                                                        const SMCParamStruct& request) override;
    void close(std::uint32_t connection) override;

private:
    std::shared_ptr<SMCDriver> inner_;
};

}  // namespace korvane
