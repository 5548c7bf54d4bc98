#include "app/ui/popover/auto_trigger_settings_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/popover/app_list.h"
#include "app/ui/popover/application_picker.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

TargetListTexts TargetListTexts::autoTrigger() {
    return {uiText("Auto-Trigger"), "bolt.heart.fill", uiText("No trigger apps"),
            uiText("Add apps that will activate\nBeast Mode automatically")};
}

TargetListTexts TargetListTexts::autoFocus() {
    return {uiText("Auto-Focus"), "scope", uiText("No target apps"),
            uiText("Add apps that Auto-Focus will focus\nwhen they come to the front")};
}

AutoTriggerSettingsView::AutoTriggerSettingsView(Actions actions, TargetListTexts texts, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)), texts_(std::move(texts)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    header->setObjectName("listHeader");
    header->setAutoFillBackground(true);
    QPalette headerPalette = header->palette();
    headerPalette.setColor(QPalette::Window, withOpacity(headerPalette.color(QPalette::Window), 0.5));
    header->setPalette(headerPalette);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(10, 10, 12, 10);
    row->setSpacing(8);
    const QColor text = palette().color(QPalette::WindowText);
    back_ = new QToolButton(header);
    back_->setObjectName("backButton");
    back_->setAutoRaise(true);
    back_->setIcon(symbolIcon("chevron.left", 14, text));
    back_->setAccessibleName(uiText("Back"));
    auto* title = new QLabel(texts_.title, header);
    title->setFont(uiFont(16, QFont::Bold));
    add_ = new QToolButton(header);
    add_->setObjectName("addButton");
    add_->setAutoRaise(true);
    add_->setIcon(symbolIcon("plus.circle.fill", 18, systemAccent(palette())));
    add_->setIconSize(QSize(18, 18));
    add_->setAccessibleName(uiText("Add Application"));
    switch_ = new ToggleSwitch(header);
    switch_->setObjectName("enabledSwitch");
    switch_->setAccessibleName(texts_.title);
    row->addWidget(back_);
    row->addWidget(title);
    row->addStretch(1);
    row->addWidget(add_);
    row->addWidget(switch_);
    column->addWidget(header);
    column->addWidget(makeDivider(this));

    AppListLook look;
    look.subtitleSize = 11;
    look.removeToolTip = uiText("Remove");
    look.emptySymbol = texts_.emptySymbol;
    look.emptySymbolSize = 32;
    look.emptyTitle = texts_.emptyTitle;
    look.emptyBody = texts_.emptyBody;
    list_ = new AppList(look,
                        {[this](const QString& bundleID) {
                             if (actions_.removeAppByID) actions_.removeAppByID(bundleID);
                         },
                         [this](const QStringList& files) { addDesktopFiles(files); }},
                        this);
    column->addWidget(list_, 1);

    connect(back_, &QToolButton::clicked, this, [this] {
        if (closeAction_) closeAction_();
        else findAndCloseWindow();
    });
    connect(add_, &QToolButton::clicked, this, &AutoTriggerSettingsView::openAppPicker);
    connect(switch_, &QAbstractButton::clicked, this, [this](bool enabled) {
        if (actions_.setEnabled) actions_.setEnabled(enabled);
    });
}

void AutoTriggerSettingsView::setApps(const std::vector<NamedAppRow>& apps) {
    std::vector<AppListRow> rows;
    for (const auto& app : apps) rows.push_back({app.bundleIdentifier, app.name, app.bundleIdentifier, std::nullopt});
    list_->setRows(rows);
}

void AutoTriggerSettingsView::setEnabled(bool enabled) { switch_->setChecked(enabled); }

void AutoTriggerSettingsView::addEntries(const std::vector<ApplicationEntry>& entries) {
    if (!actions_.addApp) return;
    for (const auto& entry : entries) actions_.addApp(entry.name, entry.id);
}

void AutoTriggerSettingsView::addDesktopFiles(const QStringList& files) {
    const auto folders = xdgDataFolders();
    std::vector<ApplicationEntry> entries;
    for (const QString& file : files) {
        if (auto entry = readApplicationEntry(file, folders)) entries.push_back(std::move(*entry));
    }
    addEntries(entries);
}

void AutoTriggerSettingsView::openAppPicker() {
    ApplicationPicker::choose(this, [this](const std::vector<ApplicationEntry>& entries) { addEntries(entries); });
}

void AutoTriggerSettingsView::findAndCloseWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowTitle() == texts_.title) {
            window->close();
            return;
        }
    }
}

}  // namespace korvane::ui
