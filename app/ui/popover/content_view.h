#pragma once
// The popover's root view: header, then the setup, "not responding" or main
// body chosen from the helper's state, then the footer. It holds no policy:
// every control calls a manager, every value shown comes from a manager's
// published property through the subscriptions this view holds.
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/focus/quit_release.h"
#include "app/runtime/subscription.h"
#include "app/runtime/task.h"
#include "shared/mainloop/main_loop.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace korvane::app {
class AppManager;
class AutoFocusManager;
class AutoTriggerManager;
class CoreVisualizerViewModel;
class ECoreJailManager;
class FanManager;
class NotificationManager;
class XPCManager;
}  // namespace korvane::app

namespace korvane::ui {

class AppRow;
class CoreVisualizerView;
class FanControlView;
class FocusVisualizerView;
class ListWindowSlot;
class RowButton;
class Spinner;
class StatusDot;
class ToggleSwitch;

// The eight managers the application delegate owns; the view never makes one.
struct PopoverManagers {
    app::AppManager& appManager;
    app::XPCManager& xpcManager;
    app::AutoFocusManager& autoFocusManager;
    app::AutoTriggerManager& autoTriggerManager;
    app::NotificationManager& notificationManager;
    app::CoreVisualizerViewModel& coreVisualizer;
    app::FanManager& fanManager;
    app::ECoreJailManager& jailManager;
};

// What the view needs of the shell around it.
struct PopoverHooks {
    MainLoop& mainLoop;
    std::function<void()> closePopover;   // hides the popover if it is shown
    std::function<void()> terminate;      // ends the application (default: QApplication::quit)
    std::function<void()> installHelper;  // XPCManager::installHelper
    std::function<void()> removeHelper;   // XPCManager::removeHelper
};

class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 300;
    static constexpr int kMaxAppListHeight = 200;
    static constexpr int kMinAppListHeight = 88;  // three rows
    static constexpr auto kRetryPause = std::chrono::seconds(2);
    static constexpr auto kReinstallPause = std::chrono::milliseconds(500);
    // While the helper does not answer, the open popover asks again this
    // often, so a helper that comes back by itself is seen.
    static constexpr auto kHealthRecheck = std::chrono::seconds(5);

    ContentView(PopoverManagers managers, PopoverHooks hooks, QWidget* parent = nullptr);
    ~ContentView() override;

    QSize sizeHint() const override;
    // The height that shows everything without scrolling.
    int naturalHeight() const;

    // For tests and the position hook: the parts by name.
    QWidget* setupSection() const { return setupSection_; }
    QWidget* helperInactiveSection() const { return inactiveSection_; }
    QWidget* mainContent() const { return mainContent_; }
    QPushButton* focusButton() const { return focusButton_; }
    QPushButton* releaseButton() const { return releaseButton_; }
    QPushButton* quitButton() const { return quitButton_; }
    QPushButton* installButton() const { return installButton_; }
    QPushButton* retryButton() const { return retryButton_; }
    QPushButton* reinstallButton() const { return reinstallButton_; }
    QPushButton* removeDaemonButton() const { return removeButton_; }
    // Remove Daemon asks here before it removes anything.
    QWidget* removeConfirmation() const { return removeConfirmation_; }
    QPushButton* confirmRemoveButton() const { return confirmRemoveButton_; }
    QPushButton* cancelRemoveButton() const { return cancelRemoveButton_; }
    QPushButton* installDaemonButton() const { return footerInstallButton_; }
    RowButton* autoTriggerRow() const { return autoTriggerRow_; }
    RowButton* autoFocusTargetsRow() const { return autoFocusTargetsRow_; }
    RowButton* jailRow() const { return jailRow_; }
    ToggleSwitch* autoFocusSwitch() const { return autoFocusSwitch_; }
    std::vector<AppRow*> appRows() const;
    FanControlView* fanControl() const { return fanControl_; }
    CoreVisualizerView* coreVisualizer() const { return coreVisualizer_; }
    FocusVisualizerView* focusVisualizer() const { return focusVisualizer_; }
    ListWindowSlot& autoTriggerWindow() const { return *autoTriggerWindow_; }
    ListWindowSlot& jailWindow() const { return *jailWindow_; }
    ListWindowSlot& autoFocusWindow() const { return *autoFocusWindow_; }
    bool observingNewApps() const { return newAppObserver_.active(); }

    // Every named control with its global geometry, one per line:
    // "name x y width height visible enabled".
    QString controlGeometry() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildSetupSection();
    QWidget* buildInactiveSection();
    QWidget* buildMainContent();
    QWidget* buildFocusAppSection();
    QWidget* buildFooter();
    void subscribe();
    // Tab follows the layout; called again whenever rows come and go.
    void orderTabStops();
    void fitAppList();

    void updateHeader();
    void updateBody();
    void updateDaemonControls();
    void rebuildAppRows();
    void updateWorkspaceNote();
    void updateAppMarks();
    void updateControl();
    void updateAutoRows();
    void updateFan();

    void retry();
    void reinstall();
    void askToRemoveDaemon();
    void removeDaemon();
    void quit();
    void setupNewAppObserver();
    void removeNewAppObserver();

    PopoverManagers m_;
    PopoverHooks hooks_;
    std::vector<app::Subscription> subscriptions_;
    app::Subscription newAppObserver_;
    Timer reinstallTimer_;
    Timer healthRecheck_;

    QWidget* header_ = nullptr;
    QWidget* beastBadge_ = nullptr;
    StatusDot* focusDot_ = nullptr;
    QWidget* body_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* setupSection_ = nullptr;
    QWidget* inactiveSection_ = nullptr;
    QWidget* mainContent_ = nullptr;
    QWidget* footer_ = nullptr;

    QPushButton* installButton_ = nullptr;
    Spinner* installSpinner_ = nullptr;
    QLabel* setupError_ = nullptr;
    QPushButton* retryButton_ = nullptr;
    QPushButton* reinstallButton_ = nullptr;
    QLabel* inactiveError_ = nullptr;

    FocusVisualizerView* focusVisualizer_ = nullptr;
    CoreVisualizerView* coreVisualizer_ = nullptr;
    QLabel* appCount_ = nullptr;
    QLabel* noApps_ = nullptr;
    QLabel* workspaceNote_ = nullptr;
    QScrollArea* appScroll_ = nullptr;
    QVBoxLayout* appList_ = nullptr;
    int appRowsHeight_ = 0;  // every row
    int appListHeight_ = 0;  // at most kMaxAppListHeight of them, before any squeezing
    std::map<std::int32_t, AppRow*> appRows_;
    QPushButton* focusButton_ = nullptr;
    QPushButton* releaseButton_ = nullptr;
    ToggleSwitch* autoFocusSwitch_ = nullptr;
    RowButton* autoFocusTargetsRow_ = nullptr;
    QLabel* autoFocusTargetCount_ = nullptr;
    RowButton* autoTriggerRow_ = nullptr;
    QWidget* beastActiveBadge_ = nullptr;
    QLabel* autoTriggerOn_ = nullptr;
    FanControlView* fanControl_ = nullptr;
    RowButton* jailRow_ = nullptr;
    QWidget* jailCount_ = nullptr;
    QLabel* jailCountText_ = nullptr;

    QLabel* footerError_ = nullptr;
    StatusDot* daemonDot_ = nullptr;
    QLabel* daemonText_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* footerInstallButton_ = nullptr;
    Spinner* footerSpinner_ = nullptr;
    QPushButton* quitButton_ = nullptr;
    QWidget* removeConfirmation_ = nullptr;
    QLabel* removeQuestion_ = nullptr;
    QPushButton* confirmRemoveButton_ = nullptr;
    QPushButton* cancelRemoveButton_ = nullptr;

    std::unique_ptr<ListWindowSlot> autoTriggerWindow_;
    std::unique_ptr<ListWindowSlot> jailWindow_;
    std::unique_ptr<ListWindowSlot> autoFocusWindow_;
    std::unique_ptr<app::QuitRelease> quitRelease_;
};

// The popover's content as the shell hosts it: install and removal go to
// the XPCManager; `terminate` ends the application (the view's Quit releases
// focus before calling it, waiting at most QuitRelease::kDefaultLimit).
ContentView* makeContentView(PopoverManagers managers, MainLoop& loop, std::function<void()> closePopover,
                             std::function<void()> terminate);

}  // namespace korvane::ui
