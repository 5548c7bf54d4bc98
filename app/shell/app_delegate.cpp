#include "app/shell/app_delegate.h"

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"

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
    : env_(std::move(environment)), popover_(std::make_unique<Popover>()) {}

AppDelegate::~AppDelegate() {
    // Windows and the controller refer to managers; they go first.
    statusBarController_.reset();
    eulaWindow_.reset();
    onboardingWindow_.reset();
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
    // The view is bound to the setting: its button records the acceptance,
    // then runs the accept action.
    auto accept = [this] {
        env_.settings.setBool(kAcceptedAgreement, true);
        acceptAgreement();
    };
    eulaWindow_ = std::make_unique<FirstRunWindow>(
        FirstRunWindow::Style{text("app.name"), QSize(450, 350), true}, env_.views.agreement(std::move(accept)));
    eulaWindow_->onWillClose = [this, alive = std::weak_ptr<int>(alive_)] {
        env_.loop.post([this, alive] {
            if (alive.expired()) return;
            if (!env_.settings.boolValue(kAcceptedAgreement) && env_.terminate) env_.terminate();
        });
    };
    eulaWindow_->show();
    eulaWindow_->raise();
}

void AppDelegate::acceptAgreement() {
    if (eulaWindow_) {
        eulaWindow_->closeForGood();
        eulaWindow_.release()->deleteLater();
    }
    if (!env_.settings.boolValue(kCompletedSetup)) {
        showOnboarding();
    } else {
        bootstrapApp();
    }
}

void AppDelegate::showOnboarding() {
    onboardingWindow_ = std::make_unique<FirstRunWindow>(
        FirstRunWindow::Style{text("Korvane Setup"), QSize(580, 520), false},
        env_.views.setup([this] { completeOnboarding(); }));
    onboardingWindow_->show();
    onboardingWindow_->raise();
    onboardingWindow_->activateWindow();
}

void AppDelegate::completeOnboarding() {
    env_.settings.setBool(kCompletedSetup, true);
    if (onboardingWindow_) {
        onboardingWindow_->closeForGood();
        onboardingWindow_.release()->deleteLater();
    }
    bootstrapApp();
}

void AppDelegate::bootstrapApp() {
    if (bootstrapped_) return;
    bootstrapped_ = true;

    // 1. The managers, in their fixed order.
    // AppManager: constructed here, first, with the focus engine.
    xpcManager_ = std::make_unique<XPCManager>(
        XPCManager::Dependencies{env_.loop, env_.helperConnector, env_.filesystemRoot});
    // AutoFocusManager, AutoTriggerManager: the focus engine.
    // NotificationManager: with its FreedesktopNotificationCenter.
    // CoreVisualizerViewModel, FanManager(xpcManager): the monitors.
    // ECoreJailManager(xpcManager): the focus engine.

    // 2. Auto-Focus wiring: AppManager, XPCManager, NotificationManager and
    //    AutoTriggerManager; loadTargets(); then follow "AutoFocusEnabled".
    // 3. Auto-Trigger wiring: XPCManager, AppManager, NotificationManager,
    //    AutoFocusManager; configured; start or stop observing launches.

    // 4-5. The main view goes into the popover; until it exists, a placeholder.
    popover_->setContent(env_.makeMainView ? env_.makeMainView() : placeholderContent());

    // 6. The tray item, with the idle symbol until the controller draws.
    statusItem_ = env_.makeStatusItem ? env_.makeStatusItem() : nullptr;
    if (!statusItem_) return;
    statusItem_->onActivate = [this](const QRect&) {
        // The click that just closed the popover from outside must not reopen it.
        if (popover_->closedByThisClick()) return;
        togglePopover();
    };
    buildTrayMenu();
    statusItem_->setContextMenu(trayMenu_.get());

    // 7. The controller: binds to AutoFocusManager and CoreVisualizerViewModel
    //    once they exist (StatusBarSources{Binding::of(autoFocus->autoFocusActive), ...}).
    statusBarController_ = std::make_unique<StatusBarController>(*statusItem_, env_.interimStatusBarSources(),
                                                                 env_.settings, env_.loop);
}

void AppDelegate::buildTrayMenu() {
    trayMenu_ = std::make_unique<QMenu>();
    trayMenu_->addAction(text("Open Korvane"), this, [this] { openPopover(); });
    heatmapAction_ = trayMenu_->addAction(text("Show Heatmap in Tray"));
    heatmapAction_->setCheckable(true);
    connect(heatmapAction_, &QAction::toggled, this, [this](bool on) {
        if (on != env_.settings.boolValue(StatusBarController::kHeatmapSetting)) {
            env_.settings.setBool(StatusBarController::kHeatmapSetting, on);
        }
    });
    // Writes NotificationManager.isEnabled; disabled until the manager exists.
    notificationsAction_ = trayMenu_->addAction(text("Notifications"));
    notificationsAction_->setCheckable(true);
    notificationsAction_->setEnabled(false);
    trayMenu_->addSeparator();
    trayMenu_->addAction(text("Quit Korvane"), this, [this] { quitReleasingFocus(); });
    // The settings can change from outside; the checks follow at each opening.
    connect(trayMenu_.get(), &QMenu::aboutToShow, this, [this] {
        const QSignalBlocker block(heatmapAction_);
        heatmapAction_->setChecked(env_.settings.boolValue(StatusBarController::kHeatmapSetting));
    });
    heatmapAction_->setChecked(env_.settings.boolValue(StatusBarController::kHeatmapSetting));
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

void AppDelegate::quitReleasingFocus() {
    // AppManager.deactivateFocusMode() is awaited here once the focus engine
    // is wired; with no focus engine there is nothing to release.
    if (env_.terminate) env_.terminate();
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    // 1. Core sampling and the controller's subscriptions.
    if (statusBarController_) statusBarController_->stopMonitoringAndUnsubscribe();
    // 2. FanManager's polling timer, once the monitors are wired.
    // 3. The SMC connection, once FanManager opens one.
}

}  // namespace korvane::app
