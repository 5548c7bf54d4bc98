#pragma once
// An SMC held in memory: keys with real SMC types, answered over the same
// record protocol as the real thing, with every failure the bridge must
// survive available on request. Tests and benchmarks use it for the bridge.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shared/smc/smc_driver.h"

namespace korvane {

class SimulatedSMCDriver final : public SMCDriver {
public:
    enum class ServiceBehaviour { absent, refusesOpen, opens };

    // "AppleSMC" opens, "AppleSMCKeysEndpoint" is absent, no keys.
    SimulatedSMCDriver();

    // One fan idling at 1800 RPM between 1200 and 6000 in automatic mode, the
    // fan keys in "fpe2" as an Intel Mac has them, the CPU at 45 °C.
    static std::shared_ptr<SimulatedSMCDriver> withOneFan();

    void setService(const std::string& name, ServiceBehaviour behaviour);
    void setKey(const std::string& key, const std::string& type, std::vector<std::uint8_t> bytes);
    void removeKey(const std::string& key);
    // The size key information reports, instead of the value's real size.
    void setReportedSize(const std::string& key, std::uint32_t size);
    // A non-zero result byte for one command on one key.
    void setResult(const std::string& key, std::uint8_t command, std::uint8_t result);
    // Exchanges of these commands fail before reaching the SMC.
    void setFailingCommands(std::set<std::uint8_t> commands);

    std::optional<std::vector<std::uint8_t>> bytesOf(const std::string& key) const;
    // Every write request received, in order, as (key, bytes).
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> writes() const;
    int openCount() const;
    // The most exchanges ever seen in progress at once; 1 when callers
    // serialise properly.
    int maxConcurrentExchanges() const;

    Expected<std::uint32_t, SMCDriverFailure> open(std::string_view serviceName) override;
    Expected<SMCParamStruct, SMCDriverFailure> exchange(std::uint32_t connection,
                                                        const SMCParamStruct& request) override;
    void close(std::uint32_t connection) override;

private:
    struct Key {
        std::string type;
        std::vector<std::uint8_t> bytes;
        std::optional<std::uint32_t> reportedSize;
        std::map<std::uint8_t, std::uint8_t> resultByCommand;
    };

    SMCParamStruct answer(const SMCParamStruct& request);

    mutable std::mutex mutex_;
    std::map<std::string, ServiceBehaviour> services_;
    std::map<std::uint32_t, Key> keys_;
    std::set<std::uint8_t> failingCommands_;
    std::vector<SMCParamStruct> requests_;
    std::uint32_t openConnection_ = 0;
    std::uint32_t nextConnection_ = 1;
    int opens_ = 0;
    std::atomic<int> inExchange_{0};
    std::atomic<int> maxInExchange_{0};
};

}  // namespace korvane
