#include "shared/topology/cpu_topology.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <map>

#include "shared/util/small_file.h"

namespace korvane {
namespace {

std::optional<CpuList> readCpuListFile(const std::string& path) {
    auto text = readSmallFileOrNothing(path);
    if (!text) return std::nullopt;
    auto cpus = parseCpuList(*text);
    if (!cpus) return std::nullopt;
    return std::move(*cpus);
}

std::vector<std::string> directoryEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Online CPUs; where the online file is missing, every cpuN folder.
CpuList onlineCpus(const std::string& cpuRoot) {
    if (auto online = readCpuListFile(cpuRoot + "/online")) return *online;
    CpuList cpus;
    for (const auto& name : directoryEntries(cpuRoot)) {
        int cpu = 0;
        if (name.size() <= 3 || name.compare(0, 3, "cpu") != 0) continue;
        auto [end, error] = std::from_chars(name.data() + 3, name.data() + name.size(), cpu);
        if (error == std::errc() && end == name.data() + name.size() && cpu <= kMaxCpuNumber) cpus.push_back(cpu);
    }
    std::sort(cpus.begin(), cpus.end());
    return cpus;
}

// The efficiency CPUs according to one source, or nothing when the source
// has nothing to say about this machine.
using Finding = std::optional<CpuList>;

Finding fromIntelHybridPmu(const std::string& devices) {
    auto core = readCpuListFile(devices + "/cpu_core/cpus");
    auto atom = readCpuListFile(devices + "/cpu_atom/cpus");
    auto lowPower = readCpuListFile(devices + "/cpu_lowpower/cpus");
    if (!core && !atom && !lowPower) return std::nullopt;
    return uniteCpuLists(atom.value_or(CpuList{}), lowPower.value_or(CpuList{}));
}

Finding fromCpuCapacity(const std::string& cpuRoot, const CpuList& online) {
    std::map<int, long> capacities;
    for (int cpu : online) {
        auto text = readSmallFileOrNothing(cpuRoot + "/cpu" + std::to_string(cpu) + "/cpu_capacity");
        long capacity = 0;
        if (!text) return std::nullopt;
        auto begin = text->data();
        auto [end, error] = std::from_chars(begin, begin + text->size(), capacity);
        if (error != std::errc() || end == begin) return std::nullopt;
        capacities[cpu] = capacity;
    }
    if (capacities.empty()) return std::nullopt;
    long largest = 0;
    for (const auto& [cpu, capacity] : capacities) largest = std::max(largest, capacity);
    CpuList efficiency;
    for (const auto& [cpu, capacity] : capacities) {
        if (capacity < largest) efficiency.push_back(cpu);
    }
    if (efficiency.empty()) return std::nullopt;
    return efficiency;
}

Finding fromCoreTypePmus(const std::string& devices) {
    CpuList efficiency;
    bool sawOtherKind = false;
    for (const auto& name : directoryEntries(devices)) {
        auto cpus = readCpuListFile(devices + "/" + name + "/cpus");
        if (!cpus) continue;
        if (isEfficiencyCorePmuName(name)) {
            efficiency = uniteCpuLists(efficiency, *cpus);
        } else {
            sawOtherKind = true;
        }
    }
    if (efficiency.empty() || !sawOtherKind) return std::nullopt;
    return efficiency;
}

}  // namespace

CpuTopology CpuTopology::detect(const std::string& sysfsRoot) {
    const std::string devices = sysfsRoot + "/devices";
    const std::string cpuRoot = devices + "/system/cpu";
    CpuList online = onlineCpus(cpuRoot);

    TopologySource source = TopologySource::Homogeneous;
    Finding efficiency;
    if ((efficiency = fromIntelHybridPmu(devices))) {
        source = TopologySource::IntelHybridPmu;
    } else if ((efficiency = fromCpuCapacity(cpuRoot, online))) {
        source = TopologySource::CpuCapacity;
    } else if ((efficiency = fromCoreTypePmus(devices))) {
        source = TopologySource::CoreTypePmu;
    }
    CpuList onlineEfficiency = intersectCpuLists(efficiency.value_or(CpuList{}), online);
    return CpuTopology(subtractCpuLists(online, onlineEfficiency), onlineEfficiency, source);
}

CpuTopology::CpuTopology(CpuList performance, CpuList efficiency, TopologySource source)
    : source_(source) {
    auto normalise = [](CpuList& cpus) {
        std::sort(cpus.begin(), cpus.end());
        cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
    };
    normalise(performance);
    normalise(efficiency);
    efficiency_ = std::move(efficiency);
    performance_ = subtractCpuLists(performance, efficiency_);
    online_ = uniteCpuLists(performance_, efficiency_);
}

std::optional<CpuKind> CpuTopology::kindOf(int cpu) const {
    if (std::binary_search(efficiency_.begin(), efficiency_.end(), cpu)) return CpuKind::Efficiency;
    if (std::binary_search(performance_.begin(), performance_.end(), cpu)) return CpuKind::Performance;
    return std::nullopt;
}

std::string_view describeTopologySource(TopologySource source) {
    switch (source) {
        case TopologySource::IntelHybridPmu:
            return "Intel hybrid PMU lists (cpu_core, cpu_atom)";
        case TopologySource::CpuCapacity:
            return "differing cpu_capacity values";
        case TopologySource::CoreTypePmu:
            return "per-core-type PMU folders";
        case TopologySource::Homogeneous:
            break;
    }
    return "no sign of more than one core kind";
}

bool isEfficiencyCorePmuName(std::string_view name) {
    // Apple's efficiency designs by code name (M1, M2, M3 generations).
    for (std::string_view design : {"icestorm", "blizzard", "sawtooth"}) {
        if (name.find(design) != std::string_view::npos) return true;
    }
    // Arm's little cores. The number is compared whole, so cortex_a7 does
    // not match cortex_a76.
    constexpr std::string_view cortex = "cortex_a";
    auto at = name.find(cortex);
    if (at == std::string_view::npos) return false;
    auto digits = name.substr(at + cortex.size());
    digits = digits.substr(0, std::min(digits.find_first_not_of("0123456789"), digits.size()));
    constexpr std::array<std::string_view, 8> littleCores = {"5", "7", "32", "35", "53", "55", "510", "520"};
    return std::find(littleCores.begin(), littleCores.end(), digits) != littleCores.end();
}

}  // namespace korvane
