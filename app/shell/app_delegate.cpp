#include "app/shell/app_delegate.h"

#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/runtime/task.h"
#include "app/shell/first_run_windows.h"
#include "app/ui/menu_windows/throttled_now_view.h"
#include "app/ui/popover/list_window_slot.h"

namespace korvane::app {

namespace {

QString text(std::string_view key) { return QString::fromStdString(localized(key)); }

// The popover's content until the main view exists.
QWidget* placeholderContent() {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("KorvanePopoverPlaceholder"));
    auto* layout = new QVBoxLayout(view);
    auto* title = new QLabel(text("app.name"));
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    title->setFont(font);
    layout->addWidget(title);
    auto* body = new QLabel(text("popover.placeholder"));
    body->setWordWrap(true);
    layout->addWidget(body);
    view->setMinimumHeight(160);
    return view;
}

}  // namespace

AppDelegate::AppDelegate(Environment environment)
    : env_(std::move(environment)),
      quitRelease_(env_.loop, env_.focusReleaseLimit),
      popover_(std::make_unique<Popover>()) {}

AppDelegate::~AppDelegate() {
    // Windows and the controller refer to managers; they go first.
    statusBarController_.reset();
    eulaWindow_.reset();
    onboardingWindow_.reset();
    throttledNowWindow_.reset();
    aboutWindow_.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    env_.settings.registerDefaults({{std::string(StatusBarController::kHeatmapSetting), true}});
    if (!env_.settings.boolValue(kAcceptedAgreement)) {
        showEULA();
        return;
    }
    if (!env_.settings.boolValue(kCompletedSetup)) {
        showOnboarding();
        return;
    }
    bootstrapApp();
}

void AppDelegate::showEULA() {
    // The view records the acceptance itself, then runs the accept action.
    // Quitting, or closing the window unaccepted, ends the application.
    auto quit = [this, alive = std::weak_ptr<int>(alive_)] {
        env_.loop.post([this, alive] {
            if (alive.expired()) return;
            if (!env_.settings.boolValue(kAcceptedAgreement) && env_.terminate) env_.terminate();
        });
    };
    eulaWindow_ = env_.windows.agreement([this] { acceptAgreement(); }, std::move(quit));
}

void AppDelegate::acceptAgreement() {
    if (eulaWindow_) {
        eulaWindow_->close();
        eulaWindow_.release()->deleteLater();
    }
    if (!env_.settings.boolValue(kCompletedSetup)) {
        showOnboarding();
    } else {
        bootstrapApp();
    }
}

void AppDelegate::showOnboarding() {
    onboardingWindow_ = env_.windows.setup([this] { completeOnboarding(); });
}

void AppDelegate::completeOnboarding() {
    env_.settings.setBool(kCompletedSetup, true);
    if (onboardingWindow_) {
        onboardingWindow_->close();
        onboardingWindow_.release()->deleteLater();
    }
    bootstrapApp();
}

void AppDelegate::bootstrapApp() {
    if (bootstrapped_) return;
    bootstrapped_ = true;
    ManagerPlatform& platform = env_.platform;

    // 1. The managers, in their fixed order.
    appManager_ = std::make_shared<AppManager>(AppManager::Dependencies{env_.loop, platform.workspace, {}, {}, platform.placement});
    xpcManager_ = std::make_shared<XPCManager>(
        XPCManager::Dependencies{env_.loop, env_.helperConnector, env_.filesystemRoot, platform.install});
    autoFocusManager_ = std::make_shared<AutoFocusManager>(
        AutoFocusManager::Dependencies{env_.loop, platform.workspace, env_.settings, {}});
    autoTriggerManager_ = std::make_shared<AutoTriggerManager>(
        AutoTriggerManager::Dependencies{env_.loop, platform.workspace, env_.settings});
    notificationManager_ = std::make_shared<NotificationManager>(
        NotificationManager::Dependencies{env_.loop, env_.settings, platform.notifications});
    cpuViewModel_ = std::make_unique<CoreVisualizerViewModel>(
        CoreVisualizerViewModel::Dependencies{env_.loop, platform.processorTicks, platform.coreLayout});
    fanManager_ = std::make_unique<FanManager>(FanManager::Dependencies{env_.loop, *xpcManager_});
    eCoreJailManager_ = std::make_unique<ECoreJailManager>(
        ECoreJailManager::Dependencies{env_.loop, env_.settings, platform.bundles, xpcManager_});

    appManager_->configure(xpcManager_);
    // 2. Auto-Focus: its collaborators, its saved targets, then the stored
    //    switch (a stored true starts following the front application).
    autoFocusManager_->configure({appManager_, xpcManager_, notificationManager_, autoTriggerManager_});
    // 3. Auto-Trigger, after Auto-Focus: configured, then observing launches when enabled.
    autoTriggerManager_->configure({xpcManager_, appManager_, notificationManager_, autoFocusManager_});

    // What is throttled now and why, from the machine and these managers.
    if (platform.confinement) {
        throttledProcesses_ = std::make_unique<ThrottledProcessesManager>(ThrottledProcessesManager::Dependencies{
            env_.loop, *platform.confinement, appManager_, xpcManager_, autoTriggerManager_, eCoreJailManager_.get()});
    }

    // 4-5. The main view, with the eight managers, goes into the popover.
    popover_->setContent(env_.makeMainView ? env_.makeMainView(*managers()) : placeholderContent());

    // 6. The tray item, with the idle symbol until the controller draws.
    statusItem_ = env_.makeStatusItem ? env_.makeStatusItem() : nullptr;
    if (!statusItem_) return;
    statusItem_->onActivate = [this](const QRect&) {
        // The click that just closed the popover from outside must not reopen it.
        if (popover_->closedByThisClick()) return;
        togglePopover();
    };
    buildTrayMenu();
    statusItem_->setContextMenu(trayMenu_->menu());

    // 7. The controller, bound to Auto-Focus and the core sampler; it starts sampling.
    statusBarController_ =
        std::make_unique<StatusBarController>(*statusItem_, statusBarSources(), env_.settings, env_.loop);
}

std::optional<AppManagers> AppDelegate::managers() const {
    if (!bootstrapped_) return std::nullopt;
    return AppManagers{*appManager_,          *xpcManager_, *autoFocusManager_, *autoTriggerManager_,
                       *notificationManager_, *fanManager_, *eCoreJailManager_, *cpuViewModel_};
}

StatusBarSources AppDelegate::statusBarSources() const {
    CoreVisualizerViewModel* cpu = cpuViewModel_.get();
    const AppManager* apps = appManager_.get();
    auto focusedName = [apps] {
        const auto& focus = apps->focusApp.get();
        return focus ? focus->name : std::string();
    };
    return StatusBarSources{
        Binding<bool>::of(autoFocusManager_->autoFocusActive),
        Binding<std::optional<AppIcon>>::of(autoFocusManager_->focusedAppIcon),
        Binding<std::string>{appManager_->focusApp.publisher().map(
                                 [](const std::optional<AppInfo>& app) { return app ? app->name : std::string(); }),
                             focusedName},
        Binding<std::vector<CoreUsage>>::of(cpu->pCoreUsages),
        [cpu] { return cpu->eCoreUsages.get(); },
        [cpu] { return cpu->averagePCoreUsage(); },
        [cpu](double interval) { cpu->startMonitoring(interval); },
        [cpu] { cpu->stopMonitoring(); }};
}

void AppDelegate::buildTrayMenu() {
    TrayMenu::Actions actions{[this] { openPopover(); }, nullptr, nullptr, [this] { quitReleasingFocus(); }};
    if (throttledProcesses_) actions.showThrottledNow = [this] { showThrottledNow(); };
    if (!env_.about.version.empty()) actions.showAbout = [this] { showAbout(); };
    trayMenu_ = std::make_unique<TrayMenu>(env_.settings, notificationManager_,
                                           env_.loginItem ? &*env_.loginItem : nullptr, std::move(actions));
}

QMenu* AppDelegate::trayMenu() const { return trayMenu_ ? trayMenu_->menu() : nullptr; }

void AppDelegate::showThrottledNow() {
    if (!throttledNowWindow_) {
        ui::ListWindowSlot::Options options{text("Throttled Now"), QSize(560, 380), true, nullptr};
        options.makeContent = [this](std::function<void()> close) -> QWidget* {
            return new ui::ThrottledNowView(*throttledProcesses_, *xpcManager_, *eCoreJailManager_, std::move(close));
        };
        throttledNowWindow_ = std::make_unique<ui::ListWindowSlot>(env_.loop, std::move(options));
    }
    throttledNowWindow_->show([this] { closePopover(); });
}

void AppDelegate::showAbout() {
    if (!aboutWindow_) {
        ui::ListWindowSlot::Options options{text("About Korvane"), QSize(440, 270), false, nullptr};
        options.makeContent = [this](std::function<void()> close) -> QWidget* {
            return new ui::AboutView(env_.about, *xpcManager_, std::move(close));
        };
        aboutWindow_ = std::make_unique<ui::ListWindowSlot>(env_.loop, std::move(options));
    }
    aboutWindow_->show([this] { closePopover(); });
}

void AppDelegate::togglePopover() {
    if (!statusItem_) return;
    if (popover_->isShown()) {
        popover_->close();
        return;
    }
    openPopover();
}

void AppDelegate::openPopover() {
    if (!statusItem_ || popover_->isShown()) return;
    QRect anchor = statusItem_->iconGeometry();
    // A host that has not told where the icon is: the pointer is nearest.
    if (anchor.isEmpty()) anchor = QRect(QCursor::pos(), QSize(1, 1));
    popover_->showAt(anchor);
    logLine("Popover opened at " + std::to_string(popover_->x()) + "," + std::to_string(popover_->y()) + " (" +
            std::to_string(popover_->width()) + "x" + std::to_string(popover_->height()) + ")");
}

void AppDelegate::closePopover() {
    if (popover_ && popover_->isShown()) popover_->close();
}

void AppDelegate::quitReleasingFocus() {
    if (!appManager_ || !xpcManager_) {
        terminateNow();
        return;
    }
    quitRelease_.start(*appManager_, *xpcManager_, [this] { terminateNow(); }, autoTriggerManager_.get());
}

void AppDelegate::terminateNow() {
    if (terminated_ || !env_.terminate) return;
    env_.terminate();
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    // 1. Core sampling and the controller's subscriptions.
    if (statusBarController_) statusBarController_->stopMonitoringAndUnsubscribe();
    // 2. Fan polling.
    if (fanManager_) fanManager_->stopPolling();
    // 3. The SMC connection, if one is open.
    env_.platform.closeSmcConnection();
    logLine("Shutdown: core sampling and fan polling stopped, the SMC connection closed");
}

}  // namespace korvane::app
