#pragma once
// The focus engine's workspace on sway: the i3 IPC protocol on $SWAYSOCK,
// spoken directly. At start it subscribes to window and workspace events and
// reads the layout tree; after every event that can change the windows or
// the front it reads the tree again (one request in flight at a time), so
// what it publishes is always whole. Its own thread waits on the socket and
// nothing else: no polling while nothing changes.
#include <memory>
#include <string>
#include <thread>

#include "platform/linux/workspace/published_workspace.h"
#include "platform/linux/workspace/window_tracker.h"
#include "shared/util/expected.h"

namespace korvane::linux_platform {

struct SwayWorkspaceConfig {
    std::string socketPath;  // $SWAYSOCK
    TrackerConfig tracker;
    ReportLimits limits{.messageBytes = 16 << 20, .windows = 1024, .textBytes = 512};
};

class SwayWorkspace final : public PublishedWorkspace {
public:
    // Connects, subscribes and reads the tree once, so the first snapshot is
    // whole. Fails with a readable reason when sway does not answer.
    static Expected<std::unique_ptr<SwayWorkspace>, std::string> open(MainLoop& loop, SwayWorkspaceConfig config,
                                                                     identity::UnitLookup& units);
    ~SwayWorkspace() override;

    class Connection;  // the socket's thread

private:
    explicit SwayWorkspace(MainLoop& loop);
    friend class Connection;

    std::unique_ptr<Connection> connection_;
    std::thread thread_;
};

}  // namespace korvane::linux_platform
