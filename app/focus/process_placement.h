#pragma once
// Where a process may run at this moment, as the system itself says: the
// helper confines throttled and jailed applications, and the lists must show
// that, not what the focus engine believes it asked for. The focus engine
// owns this interface; a /proc reader implements it, tests use a fake.
#include <cstdint>

namespace korvane::app {

class ProcessPlacement {
public:
    virtual ~ProcessPlacement() = default;
    // True when every thread of the process is confined to the background:
    // the idle scheduling policy, or the efficiency cores alone. False when
    // any thread is not, or the process cannot be read.
    virtual bool confinedToBackground(std::int32_t pid) const = 0;
};

}  // namespace korvane::app
