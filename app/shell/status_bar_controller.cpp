#include "app/shell/status_bar_controller.h"

#include <cmath>

#include "app/runtime/string_table.h"
#include "app/shell/heatmap_icon_manager.h"
#include "app/shell/symbol_image.h"

namespace korvane::app {

namespace {

constexpr QSizeF kMenuBarImageSize(18, 18);

int percentageOf(double average) {
    if (!std::isfinite(average)) return 0;
    return static_cast<int>(std::clamp(std::trunc(average * 100.0), 0.0, 100.0));
}

}  // namespace

StatusBarController::StatusBarController(StatusItem& statusItem, StatusBarSources sources, SettingsStore& settings,
                                         MainLoop& loop)
    : statusItem_(statusItem),
      sources_(std::move(sources)),
      settings_(settings),
      loop_(loop),
      lastHeatmapEnabled_(settings.boolValue(kHeatmapSetting)),
      defaultIcon_(std::make_shared<SymbolImage>(QString::fromStdString(localized("app.name")))) {
    // The idle look first: the bindings hand over the current values at once,
    // and a focus already under way must win over it.
    applyIdleState();
    setupBindings();
    if (sources_.startMonitoring) sources_.startMonitoring(kSamplingInterval);
}

void StatusBarController::stopMonitoringAndUnsubscribe() {
    if (sources_.stopMonitoring) sources_.stopMonitoring();
    cancellables_.clear();
}

std::string StatusBarController::focusedToolTip(const std::string& appName, int percentage) {
    return localized("app.name") + " — " + appName + " · P-cores " + std::to_string(percentage) + "%";
}

std::vector<int> StatusBarController::quantize(const std::vector<CoreUsage>& pCores,
                                               const std::vector<CoreUsage>& eCores) {
    std::vector<int> steps;
    steps.reserve(pCores.size() + eCores.size());
    auto step = [](double usage) {
        // A non-finite or out-of-range sample must not break the key.
        const double u = std::isfinite(usage) ? std::clamp(usage, 0.0, 1.0) : 0.0;
        return static_cast<int>(std::trunc(u * 20.0));
    };
    for (const auto& core : pCores) steps.push_back(step(core.usage));
    for (const auto& core : eCores) steps.push_back(step(core.usage));
    return steps;
}

void StatusBarController::setupBindings() {
    auto focusLook = combineLatest(sources_.autoFocusActive.changes.removeDuplicates(), sources_.focusedAppIcon.changes);
    cancellables_.push_back(focusLook.subscribe([this](const std::pair<bool, std::optional<AppIcon>>& look) {
        const auto& [active, icon] = look;
        if (!active || !icon) {
            lastDisplayedPercentage_ = -1;
            applyIdleState();
        } else {
            applyFocusedState(*icon);
        }
    }));

    cancellables_.push_back(settings_.didChange().throttleLatest(loop_, kSettingsThrottle).subscribe([this](const Done&) {
        const bool enabled = heatmapEnabled();
        if (enabled == lastHeatmapEnabled_) return;
        lastHeatmapEnabled_ = enabled;
        refreshStatusItem();
    }));

    cancellables_.push_back(sources_.pCoreUsages.changes.debounce(loop_, kUsageDebounce)
                                .subscribe([this](const std::vector<CoreUsage>&) { refreshStatusItem(); }));
}

bool StatusBarController::heatmapEnabled() const { return settings_.boolValue(kHeatmapSetting); }

void StatusBarController::refreshStatusItem() {
    if (sources_.autoFocusActive.current()) {
        if (auto icon = sources_.focusedAppIcon.current()) applyFocusedState(*icon);
        return;
    }
    applyIdleState();
}

void StatusBarController::applyIdleState() {
    statusItem_.setImage(heatmapEnabled() ? getCachedHeatmapImage() : defaultIcon_);
    statusItem_.setTitle({});
    statusItem_.setImagePosition(ImagePosition::imageOnly);
    statusItem_.setToolTip(localized("app.name"));
}

void StatusBarController::applyFocusedState(const AppIcon& appIcon) {
    statusItem_.setImage(heatmapEnabled() ? getCachedHeatmapImage() : resizeForMenuBar(appIcon));
    statusItem_.setImagePosition(ImagePosition::imageLeft);
    updateTitle();
    updateToolTip();
}

void StatusBarController::updateTitle() {
    if (sources_.autoFocusActive.current()) {
        const int percentage = percentageOf(sources_.averagePCoreUsage());
        if (percentage == lastDisplayedPercentage_) return;
        lastDisplayedPercentage_ = percentage;
        // Appended piece by piece: `" " + std::to_string(...)` inserts at the
        // front of a temporary, which GCC 12's optimiser wrongly reads as an
        // overlapping copy (-Wrestrict, a known false positive).
        std::string title = " ";
        title += std::to_string(percentage);
        title += '%';
        statusItem_.setTitle(title);
    } else if (lastDisplayedPercentage_ != -1) {
        statusItem_.setTitle({});
        lastDisplayedPercentage_ = -1;
    }
}

void StatusBarController::updateToolTip() {
    // The tooltip names the application, which can change while the
    // percentage stays the same.
    if (lastDisplayedPercentage_ < 0) return;
    statusItem_.setToolTip(focusedToolTip(sources_.focusedAppName.current(), lastDisplayedPercentage_));
}

TrayImagePtr StatusBarController::getCachedHeatmapImage() {
    auto pCores = sources_.pCoreUsages.current();
    auto eCores = sources_.eCoreUsages ? sources_.eCoreUsages() : std::vector<CoreUsage>();
    // The quantised values themselves are the key: equal keys always mean
    // equal pictures, which a hash of them could not promise.
    auto key = quantize(pCores, eCores);
    if (cachedHeatmapImage_ && key == cachedHeatmapKey_) return cachedHeatmapImage_;
    cachedHeatmapImage_ = HeatmapIconManager::createHeatmapImage(std::move(pCores), std::move(eCores), kMenuBarImageSize);
    cachedHeatmapKey_ = std::move(key);
    return cachedHeatmapImage_;
}

TrayImagePtr StatusBarController::resizeForMenuBar(const AppIcon& icon) {
    if (!resizedIcon_ || resizedIconSource_ != icon) {
        resizedIcon_ = std::make_shared<PictureImage>(pictureOf(icon));
        resizedIconSource_ = icon;
    }
    return resizedIcon_;
}

}  // namespace korvane::app
