#pragma once
// A fixture sysfs tree with the CPU facts that core-kind detection reads.
#include <string>
#include <vector>

#include "tests/fakes/fixture_tree.h"

namespace korvane::testing {

class CpuSysfs : public FixtureTree {
public:
    void online(const std::string& cpus) const { write("devices/system/cpu/online", cpus + "\n"); }
    // The CPUs a PMU device (cpu_core, apple_icestorm_pmu, ...) covers.
    void pmu(const std::string& device, const std::string& cpus) const {
        write("devices/" + device + "/cpus", cpus + "\n");
    }
    void capacities(const std::vector<int>& values) const {
        for (std::size_t cpu = 0; cpu < values.size(); ++cpu) {
            write("devices/system/cpu/cpu" + std::to_string(cpu) + "/cpu_capacity", std::to_string(values[cpu]) + "\n");
        }
    }
    // CPU 0 a performance and CPU 1 an efficiency core, as Intel's hybrid PMUs list them.
    void intelHybridPair() const {
        online("0-1");
        pmu("cpu_core", "0");
        pmu("cpu_atom", "1");
    }
};

}  // namespace korvane::testing
