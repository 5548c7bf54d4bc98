#pragma once
// The panels bound to their managers: each returned widget holds the
// subscriptions that keep it current and calls the manager for every change
// the user makes. The subscriptions end with the widget.
#include <QWidget>
#include <functional>
#include <vector>

#include "app/focus/app_info.h"
#include "app/runtime/subscription.h"
#include "app/ui/popover/app_entry.h"
#include "shared/mainloop/main_loop.h"

namespace korvane::app {
class AppManager;
class AutoFocusManager;
class AutoTriggerManager;
class CoreVisualizerViewModel;
class ECoreJailManager;
class FanManager;
}  // namespace korvane::app

namespace korvane::ui {

class AutoTriggerSettingsView;
class CoreVisualizerView;
class ECoreJailView;
class FanControlView;

// Keeps subscriptions as long as the widget it is attached to.
void keepWhileAlive(QWidget& owner, std::vector<app::Subscription> subscriptions);

AppEntry appEntry(const app::AppInfo& app);
std::vector<AppEntry> appEntries(const std::vector<app::AppInfo>& apps);

AutoTriggerSettingsView* makeAutoTriggerView(app::AutoTriggerManager& manager, std::function<void()> close);
AutoTriggerSettingsView* makeAutoFocusTargetsView(app::AutoFocusManager& manager, std::function<void()> close);
// The jail's release is offered only while neither focus nor Beast Mode
// holds processes, since it frees every process the helper holds.
ECoreJailView* makeJailView(app::ECoreJailManager& manager, app::AppManager& focus, app::AutoTriggerManager& beast);
FanControlView* makeFanControlView(app::FanManager& manager, MainLoop& loop);
CoreVisualizerView* makeCoreVisualizerView(app::CoreVisualizerViewModel& model);

}  // namespace korvane::ui
