#pragma once
// The three facts the welcome page shows about this computer, read from the
// sysfs and procfs trees below the given roots ("/sys" and "/proc" on a real
// machine). None of them fails: what cannot be read gets a plain fallback.
#include <string>

#include "app/monitors/system_summary.h"

namespace korvane::linux_platform {

// The DMI product name, after the vendor when the vendor adds something, or
// the device-tree model on ARM boards, or "Linux computer".
std::string machineModelName(const std::string& sysfsRoot, const std::string& procfsRoot);

// "{P}P + {E}E Cores" on a hybrid CPU, "{N} Cores (one kind)" otherwise,
// counting physical cores: the threads of one core count once.
std::string cpuTopologyText(const std::string& sysfsRoot);

// Installed memory in whole GB followed by " GB RAM".
std::string ramInfo(const std::string& sysfsRoot, const std::string& procfsRoot);

app::SystemSummary readSystemSummary(const std::string& sysfsRoot, const std::string& procfsRoot);

}  // namespace korvane::linux_platform
