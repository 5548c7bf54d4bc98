// Beast Mode of HelperTool: one process gets the machine, every other
// application process the background policy.
#include "helper/helper_tool.h"
#include "helper/process_scanner.h"
#include "shared/log/log.h"

namespace korvane::helper {

void HelperTool::setBeastMode(bool enabled, std::int32_t focusPID, ReplyBlock reply) {
    if (!enabled) {
        log::write("KorvaneHelper: Deactivating Beast Mode");
        unthrottleAllProcesses(std::move(reply));
        return;
    }
    log::write("KorvaneHelper: Activating Beast Mode for PID " + std::to_string(focusPID));
    runTaskPolicy(false, focusPID, [&](bool success, const std::optional<std::string>&) {
        if (!success) return;
        std::lock_guard lock(pidsQueue_);
        noteReleasedLocked(focusPID);
    });
    std::vector<std::int32_t> candidates;
    if (deps_.scanner) candidates = deps_.scanner->guiAppPIDs(focusPID);
    for (std::int32_t pid : candidates) {
        runTaskPolicy(true, pid, [&](bool success, const std::optional<std::string>&) {
            if (!success) return;
            std::lock_guard lock(pidsQueue_);
            noteThrottledLocked(pid);
        });
    }
    deps_.mainLoop.post([reply = std::move(reply)] { reply(true, std::nullopt); });
}

}  // namespace korvane::helper
