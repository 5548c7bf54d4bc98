#pragma once
// Beast Mode: one process gets the machine, every other application process
// the background policy; turning it off releases everything throttled.
#include <cstdint>
#include <mutex>

#include "helper/throttle_engine.h"
#include "shared/mainloop/main_loop.h"
#include "shared/protocol/korvane_xpc_protocol.h"

namespace korvane::helper {

class ProcessScanner;

class BeastMode {
public:
    // Without a scanner, no process but the focused one is looked at.
    BeastMode(ThrottleEngine& engine, ProcessScanner* scanner, MainLoop& mainLoop)
        : engine_(engine), scanner_(scanner), mainLoop_(mainLoop) {}

    void set(bool enabled, std::int32_t focusPID, ReplyBlock reply);

private:
    ThrottleEngine& engine_;
    ProcessScanner* scanner_;
    MainLoop& mainLoop_;
    // Two activations at once would interleave their sweeps; one at a time
    // leaves the later request's outcome in place.
    std::mutex switching_;
};

}  // namespace korvane::helper
