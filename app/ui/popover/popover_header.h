#pragma once
// The popover's top row: the logo and name, the Beast Mode badge while Beast
// Mode runs, and the focus dot (green while idle, orange while focus is on).
#include <QWidget>
#include <vector>

#include "app/runtime/subscription.h"

namespace korvane::app {
class AppManager;
class AutoTriggerManager;
}  // namespace korvane::app

namespace korvane::ui {

class StatusDot;

class PopoverHeader : public QWidget {
    Q_OBJECT
public:
    PopoverHeader(app::AppManager& apps, app::AutoTriggerManager& beast, QWidget* parent = nullptr);

private:
    void showState();

    app::AppManager& apps_;
    app::AutoTriggerManager& beast_;
    QWidget* beastBadge_;
    StatusDot* focusDot_;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace korvane::ui
