#pragma once
// Whether a helper already answers: one ping on a connection of its own, with
// a time limit, so a helper that accepts and never replies cannot hold up the
// caller. The connector's own rules decide who may be spoken to (a helper run
// by root that speaks our protocol).
#include <functional>

#include "shared/client/helper_connection.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

// Calls `done` once, on `loop`, with true when the helper answered the ping
// within `limit`. The connection is closed before `done` runs.
void probeHelper(HelperConnector& connector, MainLoop& loop, Duration limit, std::function<void(bool)> done);

}  // namespace korvane::app
