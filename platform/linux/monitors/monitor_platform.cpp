#include "platform/linux/monitors/monitor_platform.h"

#include "platform/linux/hwmon/hwmon_smc_driver.h"
#include "shared/paths/installed_paths.h"
#include "shared/smc/read_only_smc_driver.h"
#include "shared/smc/smc_bridge.h"

namespace korvane::linux_platform {

MonitorRoots MonitorRoots::fromEnvironment() { return {paths::sysfsRoot(), paths::machineProcRoot()}; }

MonitorPlatform installMonitorPlatform(const MonitorRoots& roots) {
    SMCBridge::setDriver(std::make_shared<ReadOnlySMCDriver>(std::make_shared<HwmonSMCDriver>(roots.sysfsRoot)));
    return {std::make_unique<ProcStatTickSource>(roots.procRoot),
            std::make_unique<SysfsCoreLayoutSource>(roots.sysfsRoot)};
}

}  // namespace korvane::linux_platform
