#pragma once
// Status bar sources fixed from text, for trying the tray without the core
// monitor or the focus engine (test-only environment variables):
//   KORVANE_TEST_CORE_USAGE  "0.1,0.6,0.9;0.05,0.2"  P-core usages ; E-core usages
//   KORVANE_TEST_FOCUS       "Firefox;firefox;0.37"  focused app ; icon name or path ; average P-core usage
#include <optional>
#include <string>
#include <string_view>

#include "app/shell/status_bar_sources.h"

namespace korvane::app {

struct ScriptedStatus {
    std::vector<CoreUsage> pCores;
    std::vector<CoreUsage> eCores;
    std::optional<std::string> focusedApp;
    AppIcon focusedIcon;
    double averagePCoreUsage = 0.0;
};

// Unparsable numbers are skipped.
ScriptedStatus parseScriptedStatus(std::string_view coreUsage, std::string_view focus);

// Sources that hand out the scripted values; they live as long as the sources.
StatusBarSources scriptedSources(const ScriptedStatus& status);

}  // namespace korvane::app
