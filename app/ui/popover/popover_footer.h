#pragma once
// The popover's bottom: the helper's status with Remove Daemon or Install
// Daemon, Quit, and the question Remove Daemon asks before it removes
// anything. Quit hands every throttled process back before the application
// ends, waiting at most QuitRelease::kDefaultLimit.
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/focus/quit_release.h"
#include "app/runtime/subscription.h"
#include "shared/mainloop/main_loop.h"

class QLabel;
class QPushButton;

namespace korvane::app {
class AppManager;
class AutoTriggerManager;
class XPCManager;
}  // namespace korvane::app

namespace korvane::ui {

class Spinner;
class StatusDot;

class PopoverFooter : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> installHelper;
        std::function<void()> removeHelper;
        std::function<void()> terminate;
        std::function<void()> heightChanged;  // the removal question came or went
    };

    PopoverFooter(app::AppManager& apps, app::XPCManager& xpc, app::AutoTriggerManager& beast, MainLoop& loop,
                  Actions actions, QWidget* parent = nullptr);
    ~PopoverFooter() override;

    QPushButton* removeDaemonButton() const { return removeButton_; }
    QPushButton* installDaemonButton() const { return installButton_; }
    QPushButton* quitButton() const { return quitButton_; }
    QWidget* removeConfirmation() const { return confirmation_; }
    QPushButton* confirmRemoveButton() const { return confirmButton_; }
    QPushButton* cancelRemoveButton() const { return cancelButton_; }
    void hideRemoveConfirmation();

private:
    QWidget* buildRemoveConfirmation();
    void showState();
    void askToRemove();
    void remove();

    app::AppManager& apps_;
    app::XPCManager& xpc_;
    app::AutoTriggerManager& beast_;
    MainLoop& loop_;
    Actions actions_;
    app::QuitRelease quitRelease_;
    QLabel* error_;
    StatusDot* daemonDot_;
    QLabel* daemonText_;
    QPushButton* removeButton_;
    QPushButton* installButton_;
    Spinner* spinner_;
    QPushButton* quitButton_;
    QWidget* confirmation_;
    QLabel* question_ = nullptr;
    QPushButton* confirmButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace korvane::ui
