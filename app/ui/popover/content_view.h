#pragma once
// The popover's root view: header, then the setup, "not responding" or main
// body chosen from the helper's state, then the footer. It holds no policy:
// every control calls a manager, and each section shows the published
// properties it subscribes to. This view assembles the sections, sizes the
// popover to them and keeps Tab in their order.
#include <QWidget>
#include <functional>
#include <vector>

#include "app/runtime/subscription.h"
#include "app/ui/popover/focus_app_section.h"
#include "app/ui/popover/focus_control_section.h"
#include "app/ui/popover/helper_cards.h"
#include "app/ui/popover/list_window_rows.h"
#include "app/ui/popover/popover_footer.h"
#include "shared/mainloop/main_loop.h"

class QPushButton;
class QScrollArea;

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

class CoreUsageSection;
class CoreVisualizerView;
class FanControlView;
class FocusVisualizerView;
class PopoverHeader;

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
    // While the helper does not answer, the open popover asks again this
    // often, so a helper that comes back by itself is seen.
    static constexpr auto kHealthRecheck = std::chrono::seconds(5);

    ContentView(PopoverManagers managers, PopoverHooks hooks, QWidget* parent = nullptr);
    ~ContentView() override;

    QSize sizeHint() const override;
    // The height that shows everything without scrolling.
    int naturalHeight() const;

    // For tests: the parts by name.
    QWidget* setupSection() const { return setup_; }
    QWidget* helperInactiveSection() const { return notResponding_; }
    QWidget* mainContent() const { return mainContent_; }
    QPushButton* installButton() const { return setup_->installButton(); }
    QPushButton* retryButton() const { return notResponding_->retryButton(); }
    QPushButton* reinstallButton() const { return notResponding_->reinstallButton(); }
    QPushButton* focusButton() const { return control_->focusButton(); }
    QPushButton* releaseButton() const { return control_->releaseButton(); }
    std::vector<AppRow*> appRows() const { return apps_->appRows(); }
    FocusVisualizerView* focusVisualizer() const;
    CoreVisualizerView* coreVisualizer() const { return coreVisualizer_; }
    ToggleSwitch* autoFocusSwitch() const { return autoFocus_->enabledSwitch(); }
    RowButton* autoFocusTargetsRow() const { return autoFocus_->targetsRow(); }
    RowButton* autoTriggerRow() const { return autoTrigger_; }
    RowButton* jailRow() const { return jail_; }
    ListWindowSlot& autoFocusWindow() const { return autoFocus_->targetsRow()->window(); }
    ListWindowSlot& autoTriggerWindow() const { return autoTrigger_->window(); }
    ListWindowSlot& jailWindow() const { return jail_->window(); }
    FanControlView* fanControl() const { return fanControl_; }
    PopoverFooter& footer() const { return *footer_; }
    QPushButton* quitButton() const { return footer_->quitButton(); }
    QPushButton* removeDaemonButton() const { return footer_->removeDaemonButton(); }
    QPushButton* installDaemonButton() const { return footer_->installDaemonButton(); }
    QWidget* removeConfirmation() const { return footer_->removeConfirmation(); }
    QPushButton* confirmRemoveButton() const { return footer_->confirmRemoveButton(); }
    QPushButton* cancelRemoveButton() const { return footer_->cancelRemoveButton(); }
    bool observingNewApps() const { return newAppObserver_.active(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildMainContent();
    void showBody();
    // Tab follows the layout; called again whenever rows come and go.
    void orderTabStops();
    void fitAppList();
    void appRowsChanged();
    void observeNewApps();

    PopoverManagers m_;
    PopoverHooks hooks_;
    std::vector<app::Subscription> subscriptions_;
    app::Subscription newAppObserver_;
    Timer healthRecheck_;

    PopoverHeader* header_ = nullptr;
    QWidget* body_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    HelperSetupCard* setup_ = nullptr;
    HelperNotRespondingCard* notResponding_ = nullptr;
    QWidget* mainContent_ = nullptr;
    CoreUsageSection* coreUsage_ = nullptr;
    CoreVisualizerView* coreVisualizer_ = nullptr;
    FocusAppSection* apps_ = nullptr;
    FocusControlSection* control_ = nullptr;
    AutoFocusSection* autoFocus_ = nullptr;
    AutoTriggerRow* autoTrigger_ = nullptr;
    FanControlView* fanControl_ = nullptr;
    JailManagerRow* jail_ = nullptr;
    PopoverFooter* footer_ = nullptr;
};

// The popover's content as the shell hosts it: install and removal go to
// the XPCManager; `terminate` ends the application (the view's Quit releases
// focus before calling it, waiting at most QuitRelease::kDefaultLimit).
ContentView* makeContentView(PopoverManagers managers, MainLoop& loop, std::function<void()> closePopover,
                             std::function<void()> terminate);

}  // namespace korvane::ui
