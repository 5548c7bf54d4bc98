#pragma once
// Focus Now, or Release Focus while focus is on; Focus Now only once an
// application is chosen.
#include <QWidget>
#include <vector>

#include "app/runtime/subscription.h"
#include "shared/mainloop/main_loop.h"

class QPushButton;

namespace korvane::app {
class AppManager;
class AutoTriggerManager;
class XPCManager;
}  // namespace korvane::app

namespace korvane::ui {

class FocusControlSection : public QWidget {
    Q_OBJECT
public:
    FocusControlSection(app::AppManager& apps, app::XPCManager& xpc, app::AutoTriggerManager& beast, MainLoop& loop,
                        QWidget* parent = nullptr);
    QPushButton* focusButton() const { return focusButton_; }
    QPushButton* releaseButton() const { return releaseButton_; }

private:
    void showState();

    app::AppManager& apps_;
    QPushButton* focusButton_;
    QPushButton* releaseButton_;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace korvane::ui
