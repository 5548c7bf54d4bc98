#include "testing/simulated_smc_driver.h"

#include <algorithm>
#include <thread>

#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane {

SimulatedSMCDriver::SimulatedSMCDriver() {
    services_[std::string(SMCBridge::kFallbackServiceName)] = ServiceBehaviour::opens;
}

std::shared_ptr<SimulatedSMCDriver> SimulatedSMCDriver::withOneFan() {
    auto smc = std::make_shared<SimulatedSMCDriver>();
    auto fpe2 = [](float rpm) { return smc_codec::encodeValue("fpe2", rpm).value(); };
    smc->setKey("FNum", "ui8 ", {1});
    smc->setKey("F0Ac", "fpe2", fpe2(1800));
    smc->setKey("F0Tg", "fpe2", fpe2(1800));
    smc->setKey("F0Mn", "fpe2", fpe2(1200));
    smc->setKey("F0Mx", "fpe2", fpe2(6000));
    smc->setKey("F0Md", "ui8 ", {0});
    smc->setKey("TC0P", "sp78", {45, 0});
    return smc;
}

void SimulatedSMCDriver::setService(const std::string& name, ServiceBehaviour behaviour) {
    std::lock_guard lock(mutex_);
    services_[name] = behaviour;
}

void SimulatedSMCDriver::setKey(const std::string& key, const std::string& type, std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    auto& entry = keys_[SMCBridge::stringToFourCC(key)];
    entry.type = type;
    entry.bytes = std::move(bytes);
}

void SimulatedSMCDriver::removeKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    keys_.erase(SMCBridge::stringToFourCC(key));
}

void SimulatedSMCDriver::setReportedSize(const std::string& key, std::uint32_t size) {
    std::lock_guard lock(mutex_);
    keys_[SMCBridge::stringToFourCC(key)].reportedSize = size;
}

void SimulatedSMCDriver::setResult(const std::string& key, std::uint8_t command, std::uint8_t result) {
    std::lock_guard lock(mutex_);
    keys_[SMCBridge::stringToFourCC(key)].resultByCommand[command] = result;
}

void SimulatedSMCDriver::setFailingCommands(std::set<std::uint8_t> commands) {
    std::lock_guard lock(mutex_);
    failingCommands_ = std::move(commands);
}

std::optional<std::vector<std::uint8_t>> SimulatedSMCDriver::bytesOf(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto found = keys_.find(SMCBridge::stringToFourCC(key));
    if (found == keys_.end()) return std::nullopt;
    return found->second.bytes;
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> SimulatedSMCDriver::writes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> result;
    for (const auto& request : requests_) {
        if (request.command != smc_command::kWriteKey) continue;
        auto size = std::min<std::size_t>(request.dataSize, sizeof request.bytes);
        result.emplace_back(SMCBridge::fourCCToString(request.key),
                            std::vector<std::uint8_t>(request.bytes, request.bytes + size));
    }
    return result;
}

int SimulatedSMCDriver::openCount() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int SimulatedSMCDriver::maxConcurrentExchanges() const { return maxInExchange_.load(); }

Expected<std::uint32_t, SMCDriverFailure> SimulatedSMCDriver::open(std::string_view serviceName) {
    std::lock_guard lock(mutex_);
    auto found = services_.find(std::string(serviceName));
    if (found == services_.end() || found->second == ServiceBehaviour::absent) {
        return unexpected(SMCDriverFailure::serviceNotFound);
    }
    if (found->second == ServiceBehaviour::refusesOpen) return unexpected(SMCDriverFailure::openRefused);
    ++opens_;
    openConnection_ = nextConnection_++;
    return openConnection_;
}

void SimulatedSMCDriver::close(std::uint32_t connection) {
    std::lock_guard lock(mutex_);
    if (connection != openConnection_ || connection == 0) return;
    openConnection_ = 0;
}

Expected<SMCParamStruct, SMCDriverFailure> SimulatedSMCDriver::exchange(std::uint32_t connection,
                                                                        const SMCParamStruct& request) {
    // Counted outside the mutex so that callers who forget to serialise show
    // up as overlapping exchanges instead of being hidden by our own lock.
    int inside = ++inExchange_;
    int seen = maxInExchange_.load();
    while (inside > seen && !maxInExchange_.compare_exchange_weak(seen, inside)) {
    }
    std::this_thread::yield();
    Expected<SMCParamStruct, SMCDriverFailure> reply = unexpected(SMCDriverFailure::exchangeFailed);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (connection != 0 && connection == openConnection_ && !failingCommands_.contains(request.command)) {
            reply = answer(request);
        }
    }
    --inExchange_;
    return reply;
}

SMCParamStruct SimulatedSMCDriver::answer(const SMCParamStruct& request) {
    SMCParamStruct reply;
    reply.key = request.key;
    auto found = keys_.find(request.key);
    if (found == keys_.end()) {
        reply.result = smc_result::kKeyNotFound;
        return reply;
    }
    Key& key = found->second;
    if (auto forced = key.resultByCommand.find(request.command); forced != key.resultByCommand.end()) {
        reply.result = forced->second;
        return reply;
    }
    auto realSize = static_cast<std::uint32_t>(key.bytes.size());
    switch (request.command) {
        case smc_command::kGetKeyInfo:
            reply.dataSize = key.reportedSize.value_or(realSize);
            reply.dataType = SMCBridge::stringToFourCC(key.type);
            break;
        case smc_command::kReadKey:
            reply.dataSize = realSize;
            std::copy_n(key.bytes.begin(), std::min<std::size_t>(realSize, sizeof reply.bytes), reply.bytes);
            break;
        case smc_command::kWriteKey:
            if (request.dataSize != realSize) {
                reply.result = smc_result::kKeySizeMismatch;
                break;
            }
            std::copy_n(request.bytes, std::min<std::size_t>(realSize, sizeof request.bytes), key.bytes.begin());
            break;
        default:
            reply.result = smc_result::kBadCommand;
    }
    return reply;
}

}  // namespace korvane
