#include "app/ui/popover/focus_app_section.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/ui/popover/app_row.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {

FocusAppSection::FocusAppSection(app::AppManager& apps, app::XPCManager& xpc, std::function<void()> rowsChanged,
                                 QWidget* parent)
    : QWidget(parent), apps_(apps), xpc_(xpc) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(uiText("Focus Application"), this);
    title->setFont(uiFont(12, QFont::DemiBold));
    count_ = new QLabel(this);
    count_->setObjectName("appCount");
    styleSecondary(*count_, 11);
    auto* refresh = new QToolButton(this);
    refresh->setObjectName("refreshAppsButton");
    refresh->setAutoRaise(true);
    refresh->setIcon(symbolIcon("arrow.clockwise", 12, secondaryText(palette())));
    refresh->setAccessibleName(uiText("Refresh"));
    refresh->setAccessibleDescription(uiText("Looks for running applications again"));
    connect(refresh, &QToolButton::clicked, this, [this] { apps_.refreshRunningApps(); });
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(count_);
    header->addWidget(refresh);
    column->addLayout(header);

    // What this desktop keeps from Korvane (a Wayland desktop without a way
    // in, GNOME without Korvane's extension), and what to do about it.
    workspaceNote_ = new QLabel(this);
    workspaceNote_->setObjectName("workspaceNote");
    workspaceNote_->setWordWrap(true);
    workspaceNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    styleSecondary(*workspaceNote_, 11);
    column->addWidget(workspaceNote_);

    noApps_ = new QLabel(uiText("No running apps detected"), this);
    noApps_->setObjectName("noApps");
    noApps_->setAlignment(Qt::AlignCenter);
    styleSecondary(*noApps_, 11);
    column->addWidget(noApps_);

    listArea_ = new QScrollArea(this);
    listArea_->setObjectName("appList");
    listArea_->setAccessibleName(uiText("Running applications"));
    listArea_->setFocusPolicy(Qt::NoFocus);
    listArea_->setFrameShape(QFrame::NoFrame);
    listArea_->setWidgetResizable(true);
    listArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    listArea_->viewport()->setAutoFillBackground(false);
    auto* rows = new QWidget(listArea_);
    rows->setAutoFillBackground(false);
    list_ = new QVBoxLayout(rows);
    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(2);
    list_->addStretch(1);
    listArea_->setWidget(rows);
    column->addWidget(listArea_);

    subscriptions_.push_back(apps_.runningApps.observe([this](const auto&) { rebuildRows(); }));
    subscriptions_.push_back(apps_.focusApp.observe([this](const auto&) { showMarks(); }));
    subscriptions_.push_back(xpc_.throttledPIDs.observe([this](const auto&) { showMarks(); }));
    subscriptions_.push_back(apps_.workspaceBlindSpot.observe([this](const auto&) { showWorkspaceNote(); }));
    rebuildRows();
    showWorkspaceNote();
    // Not for the first rows: the popover around is still being built.
    rowsChanged_ = std::move(rowsChanged);
}

void FocusAppSection::showWorkspaceNote() {
    const std::string& note = apps_.workspaceBlindSpot.get();
    workspaceNote_->setText(QString::fromStdString(note));
    workspaceNote_->setVisible(!note.empty());
}

void FocusAppSection::rebuildRows() {
    const auto& running = apps_.runningApps.get();
    count_->setText(uiFormat("%lld apps", {static_cast<std::int64_t>(running.size())}));
    noApps_->setVisible(running.empty());
    listArea_->setVisible(!running.empty());

    std::map<std::int32_t, AppRow*> kept;
    for (const auto& info : running) {
        AppRow* row = nullptr;
        if (auto found = rows_.find(info.id); found != rows_.end()) {
            row = found->second;
            rows_.erase(found);
            row->setApp(appEntry(info));
        } else {
            const std::int32_t pid = info.id;
            row = new AppRow(appEntry(info), false, false, [this, pid] {
                // The choice is frozen while focus is on.
                if (apps_.isFocusModeActive.get()) return;
                for (const auto& candidate : apps_.runningApps.get()) {
                    if (candidate.id != pid) continue;
                    const app::AppInfo chosen = candidate;
                    apps_.focusApp = chosen;
                    return;
                }
            });
        }
        list_->removeWidget(row);
        list_->insertWidget(static_cast<int>(kept.size()), row);
        kept.emplace(info.id, row);
    }
    for (auto& [pid, stale] : rows_) delete stale;
    rows_ = std::move(kept);
    // At most 200 high; fewer rows take only their room.
    const int rowsHeight = static_cast<int>(running.size()) * (28 + 2);
    rowsHeight_ = std::max(0, rowsHeight - 2);
    listHeight_ = std::min(kMaxListHeight, rowsHeight_);
    listArea_->setFixedHeight(listHeight_);
    showMarks();
    if (rowsChanged_) rowsChanged_();
}

void FocusAppSection::showMarks() {
    const auto& focus = apps_.focusApp.get();
    const auto& throttled = xpc_.throttledPIDs.get();
    for (auto& [pid, row] : rows_) row->setMarks(focus && focus->id == pid, throttled.count(pid) > 0);
}

int FocusAppSection::squeezedBy() const { return listHeight_ - listArea_->minimumHeight(); }

void FocusAppSection::fitList(int excess) {
    int fitted = listHeight_ - excess;
    if (fitted < std::min(listHeight_, kMinListHeight)) fitted = rowsHeight_;
    if (listArea_->minimumHeight() != fitted || listArea_->maximumHeight() != fitted) listArea_->setFixedHeight(fitted);
}

std::vector<AppRow*> FocusAppSection::appRows() const {
    std::vector<AppRow*> rows;
    for (int i = 0; i < list_->count(); ++i) {
        if (auto* row = qobject_cast<AppRow*>(list_->itemAt(i)->widget())) rows.push_back(row);
    }
    return rows;
}

}  // namespace korvane::ui
