#include "platform/linux/machine/cpu_topology_reader.h"

#include <dirent.h>

#include <algorithm>
#include <charconv>
#include <map>
#include <vector>

#include "platform/linux/machine/pinned_cpuid_reader.h"
#include "shared/log/log.h"
#include "shared/util/small_file.h"

namespace korvane::linux_platform {
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

// The CPUs the cgroup hierarchy mounted in this tree lets its processes use.
// A container's own hierarchy is mounted there (cgroup v2 with its namespace,
// v1 by a bind mount), so a container sees its own set; on a host the root
// set is every CPU. Nothing where no cpuset controller is mounted.
std::optional<CpuList> cpusetCpus(const std::string& sysfsRoot) {
    for (const char* file : {"/fs/cgroup/cpuset.cpus.effective", "/fs/cgroup/cpuset/cpuset.effective_cpus"}) {
        auto cpus = readCpuListFile(sysfsRoot + file);
        if (cpus && !cpus->empty()) return cpus;
    }
    return std::nullopt;
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

CpuTopology readCpuTopology(const std::string& sysfsRoot, CpuidReader* cpuid) {
    const std::string devices = sysfsRoot + "/devices";
    const std::string cpuRoot = devices + "/system/cpu";
    CpuList online = onlineCpus(cpuRoot);
    CpuList usable = online;
    if (auto allowed = cpusetCpus(sysfsRoot)) usable = intersectCpuLists(usable, *allowed);

    TopologySource source = TopologySource::Homogeneous;
    std::string note;
    Finding efficiency;
    if ((efficiency = fromIntelHybridPmu(devices))) {
        source = TopologySource::IntelHybridPmu;
    } else if ((efficiency = fromCpuCapacity(cpuRoot, online))) {
        source = TopologySource::CpuCapacity;
    } else if ((efficiency = fromCoreTypePmus(devices))) {
        source = TopologySource::CoreTypePmu;
    } else if (cpuid) {
        // Only where a thread of ours may run can CPUID be asked.
        CpuidCoreKinds kinds = readCpuidCoreKinds(usable, *cpuid);
        efficiency = std::move(kinds.efficiency);
        source = kinds.source;
        note = std::move(kinds.note);
        if (kinds.unplaced) log::write("CpuTopology: " + note + " — every CPU is treated as one kind");
    } else {
        note = PinnedCpuidReader::available() ? "CPUID not asked for a tree other than /sys"
                                              : "no CPUID on this processor";
    }
    CpuList usableEfficiency = intersectCpuLists(efficiency.value_or(CpuList{}), usable);
    CpuList usablePerformance = subtractCpuLists(usable, usableEfficiency);
    if (efficiency && (usableEfficiency.empty() || usablePerformance.empty()) && note.empty()) {
        note = "only one kind is online and in this cpuset";
    }
    return CpuTopology(std::move(usablePerformance), std::move(usableEfficiency), source, std::move(note));
}

CpuTopology readCpuTopology(const std::string& sysfsRoot) {
    PinnedCpuidReader processor;
    bool speaksForThisTree = sysfsRoot == "/sys" && PinnedCpuidReader::available();
    return readCpuTopology(sysfsRoot, speaksForThisTree ? &processor : nullptr);
}

}  // namespace korvane::linux_platform
