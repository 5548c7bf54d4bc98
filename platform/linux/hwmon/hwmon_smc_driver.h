#pragma once
// The SMC driver of a Linux machine: answers the SMC's record protocol from
// the kernel's hwmon interface, so the machine's fans and CPU temperature
// appear as SMC keys and the bridge's decoders do the rest.
//
//   "FNum"  ui8   number of fans (at most 10: one digit of the key)
//   "F{n}Ac" flt  fan{N}_input of the n-th fan in stable order
//   "F{n}Mn" flt  fan{N}_min, not found without the file
//   "F{n}Mx" flt  fan{N}_max, not found without the file
//   "F{n}Tg" flt  target speed, writable (see FanControl)
//   "F{n}Md" ui8  0 automatic, 1 manual, writable
//   "Tp0P"  flt   the CPU package sensor, °C; applesmc and macsmc sensors
//                 labelled with an SMC key answer under that key
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/hwmon/hwmon_inventory.h"
#include "shared/smc/smc_driver.h"
#include "shared/util/state_file.h"

namespace korvane::linux_platform {

class HwmonSMCDriver final : public SMCDriver {
public:
    // `sysfsRoot` is "/sys" in production (paths::sysfsRoot()). With
    // `fanRecord`, a fan's automatic setting is stored there before the fan
    // is switched to manual, and dropped once it is automatic again: a
    // process that dies with a fan in manual leaves the way back on record.
    explicit HwmonSMCDriver(std::string sysfsRoot, StateFile* fanRecord = nullptr);

    struct RestoredFan {
        std::string identity;
        bool restored = false;  // false: the fan is gone or refused the write
    };
    // Puts every fan on record back to its automatic setting, then clears
    // the record. Run once at start, before any client can switch a fan.
    std::vector<RestoredFan> restoreRecordedFans();

    // Only "AppleSMC" exists, and only on a machine with at least one fan or
    // a CPU temperature sensor. The devices are looked at again on each open.
    Expected<std::uint32_t, SMCDriverFailure> open(std::string_view serviceName) override;
    Expected<SMCParamStruct, SMCDriverFailure> exchange(std::uint32_t connection,
                                                        const SMCParamStruct& request) override;
    void close(std::uint32_t connection) override;

private:
    enum class KeyKind { fanCount, fanActual, fanMin, fanMax, fanTarget, fanMode, temperature };
    struct ResolvedKey {
        KeyKind kind;
        std::size_t fan = 0;
        std::string temperatureFile{};
    };

    std::optional<ResolvedKey> resolve(const std::string& key) const;
    SMCParamStruct answer(const SMCParamStruct& request);
    std::uint8_t read(const ResolvedKey& key, SMCParamStruct& reply);
    std::uint8_t write(const ResolvedKey& key, const SMCParamStruct& request);
    // Stores how `fan` goes back to automatic; false when it cannot be stored.
    bool recordBeforeManual(const FanChannel& fan);
    void forgetRecord(const FanChannel& fan);
    bool saveRecord();

    std::mutex mutex_;
    std::string sysfsRoot_;
    HwmonInventory inventory_;
    std::uint32_t connection_ = 0;
    std::uint32_t nextConnection_ = 1;
    // The automatic pwmN_enable of each fan as first seen by this process, so
    // a reopen while a fan is in manual does not forget it.
    std::map<std::string, long long> automaticPwmEnable_;
    StateFile* fanRecord_;
    // identity -> pwmN_enable (pwm), the target (closed loop) or 0 (the
    // rest), as stored in `fanRecord_`.
    std::map<std::string, long long> recorded_;
};

}  // namespace korvane::linux_platform
