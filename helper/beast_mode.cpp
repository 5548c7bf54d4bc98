#include "helper/beast_mode.h"

#include "helper/process_scanner.h"
#include "shared/log/log.h"

namespace korvane::helper {

void BeastMode::set(bool enabled, std::int32_t focusPID, ReplyBlock reply) {
    std::lock_guard lock(switching_);
    if (!enabled) {
        log::write("KorvaneHelper: Deactivating Beast Mode");
        engine_.unthrottleAll(std::move(reply));
        return;
    }
    log::write("KorvaneHelper: Activating Beast Mode for PID " + std::to_string(focusPID));
    engine_.releaseAndRecord(focusPID);
    std::vector<std::int32_t> candidates;
    ProcessFamily family;
    if (scanner_) candidates = scanner_->guiAppPIDs(focusPID, &family);
    engine_.applyEachAndRecord(candidates, &family);
    mainLoop_.post([reply = std::move(reply)] { reply(true, std::nullopt); });
}

}  // namespace korvane::helper
