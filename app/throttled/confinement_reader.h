#pragma once
// What the machine says is confined at this moment: every process running
// under the background policy (SCHED_IDLE), whoever put it there. The
// throttled-now manager owns this interface; the /proc adapter implements
// it, tests use a fake.
#include <cstdint>
#include <string>
#include <vector>

#include "shared/util/expected.h"

namespace korvane::app {

struct ConfinedProcess {
    std::int32_t pid = 0;
    std::string name;  // the kernel's command name
    std::string cpus;  // the CPUs its main thread may run on, as a CPU list ("8-15")
    // Its parent, the parent's parent, ... as far as the table goes.
    std::vector<std::int32_t> ancestors;
    friend bool operator==(const ConfinedProcess&, const ConfinedProcess&) = default;
};

class ConfinementReader {
public:
    virtual ~ConfinementReader() = default;
    // In pid order. The error says why nothing could be read.
    virtual Expected<std::vector<ConfinedProcess>, std::string> readConfined() = 0;
};

}  // namespace korvane::app
