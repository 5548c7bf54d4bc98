#include "app/ui/popover/manager_bindings.h"

#include <QEvent>

#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/monitors/core_visualizer_view_model.h"
#include "app/monitors/fan_manager.h"
#include "app/runtime/task.h"
#include "app/ui/popover/auto_trigger_settings_view.h"
#include "app/ui/popover/core_visualizer_view.h"
#include "app/ui/popover/ecore_jail_view.h"
#include "app/ui/popover/fan_control_view.h"

namespace korvane::ui {
namespace {

class SubscriptionHolder : public QObject {
public:
    SubscriptionHolder(QObject* owner, std::vector<app::Subscription> subscriptions)
        : QObject(owner), subscriptions_(std::move(subscriptions)) {}

private:
    std::vector<app::Subscription> subscriptions_;
};

// Starts sampling the first time the panel is shown, if nobody has yet.
class StartOnShow : public QObject {
public:
    StartOnShow(QWidget* panel, app::CoreVisualizerViewModel& model) : QObject(panel), model_(model) {
        panel->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show && !model_.isRunning.get()) model_.startMonitoring(2.0);
        return false;
    }

private:
    app::CoreVisualizerViewModel& model_;
};

template <class Record>
std::vector<NamedAppRow> namedRows(const std::vector<Record>& records) {
    std::vector<NamedAppRow> rows;
    for (const auto& record : records) {
        rows.push_back({QString::fromStdString(record.name), QString::fromStdString(record.bundleIdentifier)});
    }
    return rows;
}

}  // namespace

void keepWhileAlive(QWidget& owner, std::vector<app::Subscription> subscriptions) {
    new SubscriptionHolder(&owner, std::move(subscriptions));
}

AppEntry appEntry(const app::AppInfo& app) {
    return {app.id, QString::fromStdString(app.name), app.icon ? iconFromAppIcon(*app.icon) : QIcon()};
}

std::vector<AppEntry> appEntries(const std::vector<app::AppInfo>& apps) {
    std::vector<AppEntry> entries;
    entries.reserve(apps.size());
    for (const auto& app : apps) entries.push_back(appEntry(app));
    return entries;
}

AutoTriggerSettingsView* makeAutoTriggerView(app::AutoTriggerManager& manager, std::function<void()> close) {
    auto* view = new AutoTriggerSettingsView(
        {[&manager](const QString& name, const QString& id) { manager.addApp(name.toStdString(), id.toStdString()); },
         [&manager](const QString& id) { manager.removeAppByID(id.toStdString()); },
         [&manager](bool enabled) { manager.isEnabled = enabled; }},
        TargetListTexts::autoTrigger());
    view->setCloseAction(std::move(close));
    std::vector<app::Subscription> subscriptions;
    subscriptions.push_back(manager.triggerApps.publisher().subscribe(
        [view](const std::vector<app::AutoTriggerApp>& apps) { view->setApps(namedRows(apps)); }));
    subscriptions.push_back(manager.isEnabled.publisher().subscribe([view](bool on) { view->setEnabled(on); }));
    keepWhileAlive(*view, std::move(subscriptions));
    return view;
}

AutoTriggerSettingsView* makeAutoFocusTargetsView(app::AutoFocusManager& manager, std::function<void()> close) {
    auto* view = new AutoTriggerSettingsView(
        {[&manager](const QString& name, const QString& id) { manager.addTarget(name.toStdString(), id.toStdString()); },
         [&manager](const QString& id) { manager.removeTargetByID(id.toStdString()); },
         [&manager](bool enabled) { manager.isEnabled = enabled; }},
        TargetListTexts::autoFocus());
    view->setCloseAction(std::move(close));
    std::vector<app::Subscription> subscriptions;
    subscriptions.push_back(manager.targets.publisher().subscribe(
        [view](const std::vector<app::AutoFocusTarget>& targets) { view->setApps(namedRows(targets)); }));
    subscriptions.push_back(manager.isEnabled.publisher().subscribe([view](bool on) { view->setEnabled(on); }));
    keepWhileAlive(*view, std::move(subscriptions));
    return view;
}

ECoreJailView* makeJailView(app::ECoreJailManager& manager, app::AppManager& focus, app::AutoTriggerManager& beast) {
    auto* view = new ECoreJailView({[&manager](const QString& path) { manager.addApp(path.toStdString()); },
                                    [&manager](const QString& key) {
                                        for (const auto& item : manager.jailedApps.get()) {
                                            if (item.id != key.toStdString()) continue;
                                            const app::ECoreJailItem chosen = item;
                                            manager.removeApp(chosen);
                                            return;
                                        }
                                    },
                                    [&manager](bool enabled) { manager.isEnabled = enabled; },
                                    [&manager] { manager.releaseConfined(); }});
    std::vector<app::Subscription> subscriptions;
    subscriptions.push_back(
        manager.jailedApps.publisher().subscribe([view](const std::vector<app::ECoreJailItem>& items) {
            std::vector<JailRow> rows;
            for (const auto& item : items) {
                rows.push_back({QString::fromStdString(item.id), QString::fromStdString(item.appName),
                                QString::fromStdString(item.bundleIdentifier), QString::fromStdString(item.appPath)});
            }
            view->setItems(rows);
        }));
    subscriptions.push_back(manager.isEnabled.publisher().subscribe([view](bool on) { view->setEnabled(on); }));
    subscriptions.push_back(manager.lastSyncError.publisher().subscribe(
        [view](const std::optional<std::string>& error) { view->setSyncError(error); }));
    auto release = [view, &manager, &focus, &beast](bool) {
        if (manager.confinedReleased.get()) return view->setRelease(JailRelease::released);
        bool held = focus.isFocusModeActive.get() || beast.isBeastModeActive.get();
        view->setRelease(held ? JailRelease::heldElsewhere : JailRelease::offered);
    };
    subscriptions.push_back(manager.confinedReleased.publisher().subscribe(release));
    subscriptions.push_back(focus.isFocusModeActive.publisher().subscribe(release));
    subscriptions.push_back(beast.isBeastModeActive.publisher().subscribe(release));
    keepWhileAlive(*view, std::move(subscriptions));
    return view;
}

FanControlView* makeFanControlView(app::FanManager& manager, MainLoop& loop) {
    auto* view = new FanControlView(
        {[&manager, &loop](bool enabled) {
             app::spawn(loop, [&manager, enabled]() -> app::Async<> { co_await manager.toggleManualMode(enabled); });
         },
         [&manager, &loop](std::int64_t rpm) {
             app::spawn(loop, [&manager, rpm]() -> app::Async<> { co_await manager.setTargetRPM(rpm); });
         }});
    auto refresh = [view, &manager](const auto&) {
        FanPanelState state;
        state.currentRPM = manager.currentRPM.get();
        state.targetRPM = manager.targetRPM.get();
        state.minRPM = manager.minRPM.get();
        state.maxRPM = manager.maxRPM.get();
        state.isManualMode = manager.isManualMode.get();
        state.cpuTemperature = manager.cpuTemperature.get();
        state.hasFans = manager.hasFans.get();
        state.safetyWarning = manager.safetyWarning.get();
        state.lastReadError = manager.lastReadError.get();
        state.isSmcConnected = manager.isSmcConnected.get();
        view->setState(state);
    };
    std::vector<app::Subscription> subscriptions;
    subscriptions.push_back(manager.currentRPM.publisher().subscribe(refresh));
    subscriptions.push_back(manager.targetRPM.observe(refresh));
    subscriptions.push_back(manager.minRPM.observe(refresh));
    subscriptions.push_back(manager.maxRPM.observe(refresh));
    subscriptions.push_back(manager.isManualMode.observe(refresh));
    subscriptions.push_back(manager.cpuTemperature.observe(refresh));
    subscriptions.push_back(manager.hasFans.observe(refresh));
    subscriptions.push_back(manager.safetyWarning.observe(refresh));
    subscriptions.push_back(manager.lastReadError.observe(refresh));
    subscriptions.push_back(manager.isSmcConnected.observe(refresh));
    keepWhileAlive(*view, std::move(subscriptions));
    return view;
}

CoreVisualizerView* makeCoreVisualizerView(app::CoreVisualizerViewModel& model) {
    auto* view = new CoreVisualizerView;
    view->setCoreCounts(model.pCoreCount(), model.eCoreCount());
    std::vector<app::Subscription> subscriptions;
    // The kinds can change when CPUs come online; the counts follow every sample.
    subscriptions.push_back(model.pCoreUsages.publisher().subscribe([view, &model](const std::vector<app::CoreUsage>& usages) {
        view->setCoreCounts(model.pCoreCount(), model.eCoreCount());
        view->setPCoreUsages(usages);
    }));
    subscriptions.push_back(model.eCoreUsages.publisher().subscribe(
        [view](const std::vector<app::CoreUsage>& usages) { view->setECoreUsages(usages); }));
    keepWhileAlive(*view, std::move(subscriptions));
    new StartOnShow(view, model);
    return view;
}

}  // namespace korvane::ui
