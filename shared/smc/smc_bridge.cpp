#include "shared/smc/smc_bridge.h"

#include <algorithm>

#include "shared/log/log.h"
#include "shared/smc/smc_value_codec.h"

namespace korvane {

std::mutex& SMCBridge::ioLock() {
    static std::mutex lock;
    return lock;
}

std::uint32_t SMCBridge::stringToFourCC(std::string_view text) {
    std::uint32_t code = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        std::uint8_t byte = i < text.size() ? static_cast<std::uint8_t>(text[i]) : std::uint8_t{' '};
        code = (code << 8) | byte;
    }
    return code;
}

std::string SMCBridge::fourCCToString(std::uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto byte = static_cast<std::uint8_t>(code >> shift);
        if (byte == 0) continue;
        if (byte < 0x80) {
            text.push_back(static_cast<char>(byte));
        } else {
            // The Latin-1 character of that value, written as UTF-8.
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

void SMCBridge::setDriver(std::shared_ptr<SMCDriver> replacement) {
    std::lock_guard lock(ioLock());
    if (connection != 0 && driver) driver->close(connection);
    connection = 0;
    driver = std::move(replacement);
}

bool SMCBridge::openUnsafe() {
    if (connection != 0) return true;
    if (!driver) return false;
    for (std::string_view name : {kServiceName, kFallbackServiceName}) {
        auto opened = driver->open(name);
        if (opened && *opened != 0) {
            connection = *opened;
            log::write("SMCBridge: Bağlantı açıldı — " + std::string(name));
            return true;
        }
    }
    return false;
}

bool SMCBridge::open() {
    std::lock_guard lock(ioLock());
    return openUnsafe();
}

void SMCBridge::close() {
    std::lock_guard lock(ioLock());
    if (connection == 0) return;
    if (driver) driver->close(connection);
    connection = 0;
}

Expected<SMCParamStruct, SMCDriverFailure> SMCBridge::exchangeUnsafe(const SMCParamStruct& request) {
    if (connection == 0 || !driver) return unexpected(SMCDriverFailure::exchangeFailed);
    return driver->exchange(connection, request);
}

Expected<SMCBridge::KeyInfo, SMCError> SMCBridge::getInfoUnsafe(std::string_view key) {
    SMCParamStruct request;
    request.key = stringToFourCC(key);
    request.command = smc_command::kGetKeyInfo;
    auto reply = exchangeUnsafe(request);
    if (!reply || reply->result != smc_result::kSuccess || reply->dataSize < 1 || reply->dataSize > 32) {
        return unexpected(SMCError::keyNotFound);
    }
    return KeyInfo{fourCCToString(reply->dataType), reply->dataSize};
}

Expected<std::vector<std::uint8_t>, SMCError> SMCBridge::readBytesUnsafe(std::string_view key,
                                                                          std::uint32_t expectedSize) {
    SMCParamStruct request;
    request.key = stringToFourCC(key);
    request.command = smc_command::kReadKey;
    request.dataSize = expectedSize;
    auto reply = exchangeUnsafe(request);
    if (!reply || reply->result != smc_result::kSuccess) return unexpected(SMCError::readFailed);
    std::uint32_t size = expectedSize != 0 ? expectedSize : reply->dataSize;
    if (size < 1 || size > 32) return unexpected(SMCError::readFailed);
    return std::vector<std::uint8_t>(reply->bytes, reply->bytes + size);
}

Expected<Done, SMCError> SMCBridge::writeBytesUnsafe(std::string_view key, const std::vector<std::uint8_t>& bytes) {
    SMCParamStruct request;
    request.key = stringToFourCC(key);
    request.command = smc_command::kWriteKey;
    request.dataSize = static_cast<std::uint32_t>(bytes.size());
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), sizeof request.bytes), request.bytes);
    auto reply = exchangeUnsafe(request);
    if (!reply || reply->result != smc_result::kSuccess) return unexpected(SMCError::writeFailed);
    return Done{};
}

Expected<float, SMCError> SMCBridge::readValue(std::string_view key) {
    std::lock_guard lock(ioLock());
    if (!openUnsafe()) return unexpected(SMCError::connectionFailed);
    auto info = getInfoUnsafe(key);
    if (!info) return unexpected(info.error());
    auto bytes = readBytesUnsafe(key, info->size);
    if (!bytes) return unexpected(bytes.error());
    if (bytes->empty()) return unexpected(SMCError::readFailed);
    return smc_codec::decodeValue(info->type, *bytes);
}

Expected<Done, SMCError> SMCBridge::writeValue(std::string_view key, float value) {
    std::lock_guard lock(ioLock());
    if (!openUnsafe()) return unexpected(SMCError::connectionFailed);
    auto info = getInfoUnsafe(key);
    if (!info) return unexpected(info.error());
    auto bytes = smc_codec::encodeValue(info->type, value);
    if (!bytes) return unexpected(bytes.error());
    return writeBytesUnsafe(key, *bytes);
}

float SMCBridge::readCPUTemperature() {
    std::lock_guard lock(ioLock());
    if (!openUnsafe()) return 0.0f;
    for (std::string_view key : CPU_TEMP_KEYS) {
        auto info = getInfoUnsafe(key);
        if (!info) continue;
        auto bytes = readBytesUnsafe(key, info->size);
        if (!bytes || bytes->empty()) continue;
        auto celsius = smc_codec::decodeTemperature(info->type, *bytes);
        // NaN fails both comparisons and is skipped with the rest.
        if (celsius && *celsius > 0.0f && *celsius < 120.0f) return *celsius;
    }
    return 0.0f;
}

}  // namespace korvane
