#include "platform/linux/hwmon/hwmon_smc_driver.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/linux/hwmon/sysfs_attribute.h"
#include "shared/smc/smc_bridge.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane::linux_platform {
namespace {

constexpr std::size_t kAddressableFans = 10;

bool isByteKey(std::string_view type) { return type == "ui8 "; }

std::uint8_t failureResult(FanFailure failure) {
    return failure == FanFailure::notControllable ? smc_result::kKeyNotWritable : smc_result::kError;
}

void putFloat(SMCParamStruct& reply, float value) {
    auto bytes = smc_codec::floatBytes(value);
    std::copy(bytes.begin(), bytes.end(), reply.bytes);
    reply.dataSize = 4;
}

}  // namespace

HwmonSMCDriver::HwmonSMCDriver(std::string sysfsRoot, StateFile* fanRecord)
    : sysfsRoot_(std::move(sysfsRoot)), fanRecord_(fanRecord) {}

namespace {

// One fan a line: "VALUE<tab>IDENTITY". Lines that do not read so are
// skipped; the identity comes last because only it could hold odd bytes.
std::map<std::string, long long> parseFanRecord(std::string_view text) {
    std::map<std::string, long long> record;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        auto tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0 || tab + 1 == line.size()) continue;
        long long value = 0;
        auto digits = line.substr(0, tab);
        auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || last != digits.data() + digits.size()) continue;
        record.emplace(std::string(line.substr(tab + 1)), value);
    }
    return record;
}

// The value that takes this fan back to automatic, when there is one to keep.
std::optional<long long> automaticSetting(const FanChannel& fan) {
    switch (fan.control) {
        case FanControl::pwm: return fan.automaticPwmEnable;
        case FanControl::closedLoopTarget: return fan.targetAtOpen;
        case FanControl::appleSMC:
        case FanControl::macSMCTarget: return 0;
        case FanControl::none: break;
    }
    return std::nullopt;
}

}  // namespace

std::vector<HwmonSMCDriver::RestoredFan> HwmonSMCDriver::restoreRecordedFans() {
    std::vector<RestoredFan> outcome;
    if (!fanRecord_) return outcome;
    std::lock_guard lock(mutex_);
    auto text = fanRecord_->load();
    if (!text) return outcome;
    auto record = parseFanRecord(*text);
    HwmonInventory found = scanHwmon(sysfsRoot_);
    // A fan no key reaches any more (a graphics card's, switched by a helper
    // that still took it for a system fan) goes back all the same.
    std::vector<FanChannel> everyFan = std::move(found.fans);
    everyFan.insert(everyFan.end(), found.excludedFans.begin(), found.excludedFans.end());
    for (const auto& [identity, value] : record) {
        auto fan = std::find_if(everyFan.begin(), everyFan.end(),
                                [&](const FanChannel& f) { return f.identity == identity; });
        bool restored = false;
        if (fan != everyFan.end()) {
            if (fan->control == FanControl::pwm) {
                fan->automaticPwmEnable = value;
                automaticPwmEnable_[identity] = value;
            } else if (fan->control == FanControl::closedLoopTarget) {
                fan->targetAtOpen = value;
            }
            restored = setFanMode(*fan, FanMode::automatic).has_value();
        }
        outcome.push_back({identity, restored});
    }
    recorded_.clear();
    // A fan that could not be restored now will not be later either; keeping
    // it would only repeat the failure at every start.
    fanRecord_->save({});
    return outcome;
}

bool HwmonSMCDriver::saveRecord() {
    std::string text;
    for (const auto& [identity, value] : recorded_) text += std::to_string(value) + "\t" + identity + "\n";
    return fanRecord_->save(text);
}

bool HwmonSMCDriver::recordBeforeManual(const FanChannel& fan) {
    if (!fanRecord_ || recorded_.contains(fan.identity)) return true;
    auto setting = automaticSetting(fan);
    if (!setting) return true;
    recorded_.emplace(fan.identity, *setting);
    if (saveRecord()) return true;
    recorded_.erase(fan.identity);
    return false;
}

void HwmonSMCDriver::forgetRecord(const FanChannel& fan) {
    if (!fanRecord_ || recorded_.erase(fan.identity) == 0) return;
    // Left on record, the fan is only set to automatic once more at the next start.
    saveRecord();
}

Expected<std::uint32_t, SMCDriverFailure> HwmonSMCDriver::open(std::string_view serviceName) {
    if (serviceName != SMCBridge::kFallbackServiceName) return unexpected(SMCDriverFailure::serviceNotFound);
    std::lock_guard lock(mutex_);
    HwmonInventory found = scanHwmon(sysfsRoot_);
    if (found.fans.empty() && found.temperatureFiles.empty()) return unexpected(SMCDriverFailure::serviceNotFound);
    for (auto& fan : found.fans) {
        if (fan.control != FanControl::pwm) continue;
        fan.automaticPwmEnable = automaticPwmEnable_.try_emplace(fan.identity, fan.automaticPwmEnable).first->second;
    }
    inventory_ = std::move(found);
    connection_ = nextConnection_++;
    return connection_;
}

void HwmonSMCDriver::close(std::uint32_t connection) {
    std::lock_guard lock(mutex_);
    if (connection == 0 || connection != connection_) return;
    connection_ = 0;
    inventory_ = {};
}

Expected<SMCParamStruct, SMCDriverFailure> HwmonSMCDriver::exchange(std::uint32_t connection,
                                                                    const SMCParamStruct& request) {
    std::lock_guard lock(mutex_);
    if (connection == 0 || connection != connection_) return unexpected(SMCDriverFailure::exchangeFailed);
    return answer(request);
}

std::optional<HwmonSMCDriver::ResolvedKey> HwmonSMCDriver::resolve(const std::string& key) const {
    if (key == SMCBridge::KEY_FAN_COUNT) return ResolvedKey{KeyKind::fanCount};
    if (auto temperature = inventory_.temperatureFiles.find(key); temperature != inventory_.temperatureFiles.end()) {
        return ResolvedKey{KeyKind::temperature, 0, temperature->second};
    }
    if (key.size() != 4 || key[0] != 'F' || key[1] < '0' || key[1] > '9') return std::nullopt;
    auto index = static_cast<std::size_t>(key[1] - '0');
    if (index >= inventory_.fans.size()) return std::nullopt;
    const FanChannel& fan = inventory_.fans[index];
    std::string_view suffix = std::string_view(key).substr(2);
    if (suffix == "Ac") return ResolvedKey{KeyKind::fanActual, index};
    if (suffix == "Tg") return ResolvedKey{KeyKind::fanTarget, index};
    if (suffix == "Md") return ResolvedKey{KeyKind::fanMode, index};
    // Without a limit file the caller keeps its own default.
    if (suffix == "Mn" && fan.hasMin) return ResolvedKey{KeyKind::fanMin, index};
    if (suffix == "Mx" && fan.hasMax) return ResolvedKey{KeyKind::fanMax, index};
    return std::nullopt;
}

SMCParamStruct HwmonSMCDriver::answer(const SMCParamStruct& request) {
    SMCParamStruct reply;
    reply.key = request.key;
    auto key = resolve(SMCBridge::fourCCToString(request.key));
    if (!key) {
        reply.result = smc_result::kKeyNotFound;
        return reply;
    }
    std::string_view type = key->kind == KeyKind::fanCount || key->kind == KeyKind::fanMode ? "ui8 " : "flt ";
    switch (request.command) {
        case smc_command::kGetKeyInfo:
            reply.dataType = SMCBridge::stringToFourCC(type);
            reply.dataSize = isByteKey(type) ? 1 : 4;
            break;
        case smc_command::kReadKey:
            reply.result = read(*key, reply);
            break;
        case smc_command::kWriteKey:
            if (request.dataSize != (isByteKey(type) ? 1u : 4u)) {
                reply.result = smc_result::kKeySizeMismatch;
            } else {
                reply.result = write(*key, request);
            }
            break;
        default:
            reply.result = smc_result::kBadCommand;
    }
    return reply;
}

std::uint8_t HwmonSMCDriver::read(const ResolvedKey& key, SMCParamStruct& reply) {
    auto put = [&](const Expected<float, FanFailure>& value) {
        if (!value) return failureResult(value.error());
        putFloat(reply, *value);
        return smc_result::kSuccess;
    };
    switch (key.kind) {
        case KeyKind::fanCount:
            reply.bytes[0] = static_cast<std::uint8_t>(std::min(inventory_.fans.size(), kAddressableFans));
            reply.dataSize = 1;
            return smc_result::kSuccess;
        case KeyKind::fanMode: {
            auto mode = fanMode(inventory_.fans[key.fan]);
            if (!mode) return failureResult(mode.error());
            reply.bytes[0] = *mode == FanMode::manual ? 1 : 0;
            reply.dataSize = 1;
            return smc_result::kSuccess;
        }
        case KeyKind::fanActual: return put(actualSpeed(inventory_.fans[key.fan]));
        case KeyKind::fanMin: return put(minimumSpeed(inventory_.fans[key.fan]));
        case KeyKind::fanMax: return put(maximumSpeed(inventory_.fans[key.fan]));
        case KeyKind::fanTarget: return put(targetSpeed(inventory_.fans[key.fan]));
        case KeyKind::temperature: {
            auto millidegrees = sysfs::readInteger(key.temperatureFile);
            if (!millidegrees) return smc_result::kError;
            putFloat(reply, static_cast<float>(*millidegrees) / 1000.0f);
            return smc_result::kSuccess;
        }
    }
    return smc_result::kError;
}

std::uint8_t HwmonSMCDriver::write(const ResolvedKey& key, const SMCParamStruct& request) {
    FanChannel& fan = inventory_.fans[key.fan];
    Expected<Done, FanFailure> written = Done{};
    if (key.kind == KeyKind::fanMode) {
        bool manual = request.bytes[0] != 0;
        // Without the way back on record, a crash could leave the fan in
        // manual for good; better not to switch it at all.
        if (manual && !recordBeforeManual(fan)) return smc_result::kError;
        written = setFanMode(fan, manual ? FanMode::manual : FanMode::automatic);
        if (written && !manual) forgetRecord(fan);
    } else if (key.kind == KeyKind::fanTarget) {
        auto decoded = smc_codec::decodeValue("flt ", std::span<const std::uint8_t>(request.bytes, 4));
        float rpm = decoded ? *decoded : std::numeric_limits<float>::quiet_NaN();
        if (!std::isfinite(rpm) || rpm < 0.0f || rpm > 1.0e6f) return smc_result::kError;
        written = setTargetSpeed(fan, static_cast<long long>(rpm));
    } else {
        return smc_result::kKeyNotWritable;
    }
    return written ? smc_result::kSuccess : failureResult(written.error());
}

}  // namespace korvane::linux_platform
