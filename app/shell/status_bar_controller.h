#pragma once
// Keeps Korvane's tray item current. Idle: the symbol or the live heatmap.
// While Auto-Focus holds an application: that application's icon (or the
// heatmap) with the average P-core load beside it (" 37%"). Redraws follow
// the core samples (debounced 1 s) and reuse the last heatmap until a core
// moves into another 5 % step. Main thread only.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/runtime/settings_store.h"
#include "app/runtime/subscription.h"
#include "app/shell/status_bar_sources.h"
#include "app/shell/status_item.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {

class StatusBarController {
public:
    static constexpr std::string_view kHeatmapSetting = "showHeatmapInMenuBar";
    static constexpr double kSamplingInterval = 3.0;
    static constexpr Duration kSettingsThrottle = std::chrono::milliseconds(500);
    static constexpr Duration kUsageDebounce = std::chrono::seconds(1);

    // Subscribes, starts core sampling every 3 s and shows the idle look.
    StatusBarController(StatusItem& statusItem, StatusBarSources sources, SettingsStore& settings, MainLoop& loop);
    StatusBarController(const StatusBarController&) = delete;
    StatusBarController& operator=(const StatusBarController&) = delete;

    // At exit: sampling stops and no subscription delivers any more.
    void stopMonitoringAndUnsubscribe();

    int lastDisplayedPercentage() const { return lastDisplayedPercentage_; }
    const TrayImagePtr& defaultIcon() const { return defaultIcon_; }

    // "Korvane — {app} · P-cores 37%"
    static std::string focusedToolTip(const std::string& appName, int percentage);
    // The heatmap cache's key: each usage in 5 % steps, P-cores then E-cores.
    static std::vector<int> quantize(const std::vector<CoreUsage>& pCores, const std::vector<CoreUsage>& eCores);

private:
    void setupBindings();
    void refreshStatusItem();
    void applyIdleState();
    void applyFocusedState(const AppIcon& appIcon);
    void updateTitle();
    void updateToolTip();
    TrayImagePtr getCachedHeatmapImage();
    TrayImagePtr resizeForMenuBar(const AppIcon& icon);
    bool heatmapEnabled() const;

    StatusItem& statusItem_;
    StatusBarSources sources_;
    SettingsStore& settings_;
    MainLoop& loop_;
    std::vector<Subscription> cancellables_;
    int lastDisplayedPercentage_ = -1;
    bool lastHeatmapEnabled_;
    TrayImagePtr cachedHeatmapImage_;
    std::vector<int> cachedHeatmapKey_;
    std::optional<AppIcon> resizedIconSource_;
    TrayImagePtr resizedIcon_;
    TrayImagePtr defaultIcon_;
};

}  // namespace korvane::app
