#pragma once
// ProcessInfo over this machine's /proc: what the daemon scans, and what its
// benchmark measures. Wiring for the helper's main, which alone links /proc readers.
#include <unistd.h>

#include <memory>

#include "helper/process_info.h"
#include "platform/linux/identity/desktop_session.h"
#include "platform/linux/identity/identity_resolver.h"
#include "platform/linux/proc/process_table.h"
#include "platform/linux/proc/process_tree.h"

namespace korvane::helper {

// With `desktop`, Beast Mode spares the desktop's own processes.
inline ProcessInfoDependencies procProcessInfoDependencies(identity::IdentityResolver& identity,
                                                           identity::DesktopSession* desktop = nullptr) {
    ProcessInfoDependencies dependencies{
        .table = [table = std::make_shared<linux_platform::ProcessTable>()] { return table->read(); },
        .identity = identity,
        .parentOf = [](std::int32_t pid) { return linux_platform::readParentPID("/proc", pid); },
        .cgroupOf = [](std::int32_t pid) { return linux_platform::readCgroup("/proc", pid); },
        .selfPID = static_cast<std::int32_t>(::getpid()),
    };
    if (desktop) {
        dependencies.partOfDesktop = [&identity, desktop](std::int32_t pid, const std::string& appID) {
            return desktop->isDesktopProcess(pid, [&] { return identity.desktopEntryFor(pid, appID); });
        };
    }
    return dependencies;
}

}  // namespace korvane::helper
