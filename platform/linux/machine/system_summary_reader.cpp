#include "platform/linux/machine/system_summary_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include "shared/util/small_file.h"
#include "shared/topology/cpu_list.h"
#include "platform/linux/machine/cpu_topology_reader.h"
#include "shared/util/text.h"

namespace korvane::linux_platform {

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n";
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

std::string readTrimmed(const std::string& path) {
    auto text = readSmallFileOrNothing(path, {.limit = 4096, .regularOnly = true});
    if (!text) return {};
    // Device-tree strings end in a NUL.
    std::string value = *text;
    value.erase(std::find(value.begin(), value.end(), '\0'), value.end());
    return std::string(trimmed(value, kWhiteSpace));
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// Firmware vendors leave their template texts in the DMI fields of many boards.
bool isPlaceholder(std::string_view value) {
    static constexpr std::array<std::string_view, 13> kPlaceholders{"to be filled by o.e.m.",
                                                                    "to be filled by oem",
                                                                    "system product name",
                                                                    "system manufacturer",
                                                                    "default string",
                                                                    "not applicable",
                                                                    "not specified",
                                                                    "none",
                                                                    "o.e.m.",
                                                                    "oem",
                                                                    "unknown",
                                                                    "type1productconfigid",
                                                                    "x.x"};
    std::string text = lowered(value);
    return text.empty() ||
           std::find(kPlaceholders.begin(), kPlaceholders.end(), text) != kPlaceholders.end();
}

std::optional<std::uint64_t> parseNumber(std::string_view text, int base) {
    text = trimmed(text, kWhiteSpace);
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

int physicalCores(const std::string& sysfsRoot, const CpuList& cpus) {
    std::set<int> cores;
    for (int cpu : cpus) {
        std::string folder =
            sysfsRoot + "/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
        std::string siblings = readTrimmed(folder + "core_cpus_list");
        if (siblings.empty()) siblings = readTrimmed(folder + "thread_siblings_list");
        auto list = parseCpuList(siblings);
        // A core is known by its first thread; a CPU whose siblings cannot be
        // read is a core of its own.
        cores.insert(list && !list->empty() ? list->front() : cpu);
    }
    return static_cast<int>(cores.size());
}

std::optional<std::uint64_t> onlineMemoryBytes(const std::string& sysfsRoot) {
    std::string folder = sysfsRoot + "/devices/system/memory";
    auto blockSize = parseNumber(readTrimmed(folder + "/block_size_bytes"), 16);
    if (!blockSize || *blockSize == 0) return std::nullopt;
    std::error_code error;
    std::uint64_t blocks = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!name.starts_with("memory") || !parseNumber(std::string_view(name).substr(6), 10))
            continue;
        std::string online = readTrimmed(it->path().string() + "/online");
        std::string state = readTrimmed(it->path().string() + "/state");
        if (online == "1" || (online.empty() && state == "online")) ++blocks;
    }
    if (blocks == 0) return std::nullopt;
    return blocks * *blockSize;
}

std::optional<std::uint64_t> memTotalBytes(const std::string& procfsRoot) {
    auto text = readSmallFileOrNothing(procfsRoot + "/meminfo", {.limit = 64 * 1024, .regularOnly = true});
    if (!text) return std::nullopt;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("MemTotal:")) continue;
        std::string_view value = trimmed(std::string_view(line).substr(9), kWhiteSpace);
        if (value.ends_with("kB")) value = trimmed(value.substr(0, value.size() - 2), kWhiteSpace);
        auto kib = parseNumber(value, 10);
        if (kib) return *kib * 1024;
    }
    return std::nullopt;
}

}  // namespace

std::string machineModelName(const std::string& sysfsRoot, const std::string& procfsRoot) {
    std::string product = readTrimmed(sysfsRoot + "/class/dmi/id/product_name");
    if (!isPlaceholder(product)) {
        std::string vendor = readTrimmed(sysfsRoot + "/class/dmi/id/sys_vendor");
        if (isPlaceholder(vendor) || lowered(product).starts_with(lowered(vendor))) return product;
        return vendor + " " + product;
    }
    std::string model = readTrimmed(procfsRoot + "/device-tree/model");
    if (!model.empty()) return model;
    return "Linux computer";
}

std::string cpuTopologyText(const std::string& sysfsRoot) {
    CpuTopology topology = readCpuTopology(sysfsRoot);
    if (topology.isHybrid()) {
        return std::to_string(physicalCores(sysfsRoot, topology.performanceCPUs())) + "P + " +
               std::to_string(physicalCores(sysfsRoot, topology.efficiencyCPUs())) + "E Cores";
    }
    return std::to_string(physicalCores(sysfsRoot, topology.onlineCPUs())) + " Cores (one kind)";
}

std::string ramInfo(const std::string& sysfsRoot, const std::string& procfsRoot) {
    // MemTotal leaves out what the firmware and the kernel keep for themselves,
    // so it reads a little under the installed size: round it to the nearest GB.
    auto bytes = onlineMemoryBytes(sysfsRoot);
    if (!bytes) bytes = memTotalBytes(procfsRoot);
    if (!bytes) return "RAM unknown";
    return std::to_string((*bytes + kGiB / 2) / kGiB) + " GB RAM";
}

app::SystemSummary readSystemSummary(const std::string& sysfsRoot, const std::string& procfsRoot) {
    return {machineModelName(sysfsRoot, procfsRoot), cpuTopologyText(sysfsRoot),
            ramInfo(sysfsRoot, procfsRoot)};
}

}  // namespace korvane::linux_platform
