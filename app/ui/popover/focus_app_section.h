#pragma once
// "Focus Application": the running applications to choose the one to focus,
// each marked when chosen or throttled, with their count, a refresh button
// and a note of what the desktop keeps from Korvane. The list is at most
// kMaxListHeight high; a short popover squeezes it (see fitList).
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "app/runtime/subscription.h"

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace korvane::app {
class AppManager;
class XPCManager;
}  // namespace korvane::app

namespace korvane::ui {

class AppRow;

class FocusAppSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxListHeight = 200;
    static constexpr int kMinListHeight = 88;  // three rows

    // `rowsChanged` runs after rows came or went, from the first change on.
    FocusAppSection(app::AppManager& apps, app::XPCManager& xpc, std::function<void()> rowsChanged,
                    QWidget* parent = nullptr);

    std::vector<AppRow*> appRows() const;
    QScrollArea* listArea() const { return listArea_; }
    // How much taller than now the list would be, unsqueezed.
    int squeezedBy() const;
    // One scroll bar, never one inside another: the list gives up to
    // `excess` of its height, down to three rows; where even that is too
    // tall it shows every row and leaves the scrolling to the popover.
    void fitList(int excess);

private:
    void rebuildRows();
    void showMarks();
    void showWorkspaceNote();

    app::AppManager& apps_;
    app::XPCManager& xpc_;
    std::function<void()> rowsChanged_;
    QLabel* count_;
    QLabel* workspaceNote_;
    QLabel* noApps_;
    QScrollArea* listArea_;
    QVBoxLayout* list_;
    int rowsHeight_ = 0;  // every row
    int listHeight_ = 0;  // at most kMaxListHeight of them, before any squeezing
    std::map<std::int32_t, AppRow*> rows_;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace korvane::ui
