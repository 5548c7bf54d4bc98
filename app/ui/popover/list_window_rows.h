#pragma once
// The popover's rows that open a list window: Auto-Focus (its switch, then
// the row to its targets), Auto-Trigger and the E-Core Jail. Each row owns
// its window's slot and says, tinted and in words, whether its feature is on.
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/runtime/subscription.h"
#include "app/ui/popover/row_button.h"
#include "shared/mainloop/main_loop.h"

class QLabel;

namespace korvane::app {
class AppManager;
class AutoFocusManager;
class AutoTriggerManager;
class ECoreJailManager;
}  // namespace korvane::app

namespace korvane::ui {

class ListWindowSlot;
class ToggleSwitch;

// A tinted row with a title on the left and a chevron on the right; a press
// closes the popover and opens the window.
class ListWindowRow : public RowButton {
    Q_OBJECT
public:
    // `title` is the row's name, for the eye and for assistive tools.
    ListWindowRow(QLabel* title, std::unique_ptr<ListWindowSlot> window, std::function<void()> closePopover,
                  QWidget* parent = nullptr);
    ~ListWindowRow() override;
    ListWindowSlot& window() const { return *window_; }
    // Right after the title.
    void addLead(QWidget* widget);
    // At the right edge, before the chevron.
    void addTrailing(QWidget* widget);

protected:
    std::vector<app::Subscription> subscriptions_;

private:
    std::unique_ptr<ListWindowSlot> window_;
};

class AutoFocusSection : public QWidget {
    Q_OBJECT
public:
    AutoFocusSection(app::AutoFocusManager& manager, MainLoop& loop, std::function<void()> closePopover,
                     QWidget* parent = nullptr);
    ToggleSwitch* enabledSwitch() const { return switch_; }
    ListWindowRow* targetsRow() const { return targetsRow_; }

private:
    void showState();

    app::AutoFocusManager& manager_;
    ToggleSwitch* switch_;
    ListWindowRow* targetsRow_;
    QLabel* targetCount_;
    std::vector<app::Subscription> subscriptions_;
};

class AutoTriggerRow : public ListWindowRow {
    Q_OBJECT
public:
    AutoTriggerRow(app::AutoTriggerManager& manager, MainLoop& loop, std::function<void()> closePopover,
                   QWidget* parent = nullptr);

private:
    void showState();

    app::AutoTriggerManager& manager_;
    QWidget* activeBadge_;
    QLabel* on_;
};

class JailManagerRow : public ListWindowRow {
    Q_OBJECT
public:
    JailManagerRow(app::ECoreJailManager& jail, app::AppManager& apps, app::AutoTriggerManager& beast, MainLoop& loop,
            std::function<void()> closePopover, QWidget* parent = nullptr);

private:
    void showState();

    app::ECoreJailManager& jail_;
    QWidget* count_;
    QLabel* countText_;
};

}  // namespace korvane::ui
