#pragma once
// The Linux parts of the application's two hardware monitors, made once at
// start by the application's main.
#include <memory>
#include <string>

#include "platform/linux/monitors/sysfs_core_layout.h"
#include "platform/linux/proc/proc_stat_ticks.h"

namespace korvane::linux_platform {

struct MonitorRoots {
    std::string sysfsRoot = "/sys";
    std::string procRoot = "/proc";

    // /sys and /proc, or the fixture trees KORVANE_SYSFS_ROOT and
    // KORVANE_PROC_ROOT name.
    static MonitorRoots fromEnvironment();
};

// What the core sampler reads through; must outlive it.
struct MonitorPlatform {
    std::unique_ptr<ProcStatTickSource> ticks;
    std::unique_ptr<SysfsCoreLayoutSource> layout;
};

// Installs the SMC bridge's driver for this process: the machine's hwmon
// devices read as the user, behind a guard that refuses every write (fan
// changes go through the helper only). Then makes the core sampler's tick and
// layout sources. Call once, before the FanManager is constructed.
MonitorPlatform installMonitorPlatform(const MonitorRoots& roots = MonitorRoots::fromEnvironment());

}  // namespace korvane::linux_platform
