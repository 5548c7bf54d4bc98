#include "app/ui/popover/ecore_jail_view.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/popover/app_list.h"
#include "app/ui/popover/application_catalog.h"
#include "app/ui/popover/application_picker.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {

QWidget* symbolRow(QWidget* parent, const char* symbol, const QColor& color, QLabel*& text, bool secondary) {
    auto* row = new QWidget(parent);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(14, 2, 14, 2);
    line->setSpacing(6);
    auto* icon = new QLabel(row);
    icon->setPixmap(symbolPixmap(symbol, 12, parent->devicePixelRatioF(), color));
    text = new QLabel(row);
    text->setWordWrap(true);
    if (secondary) styleSecondary(*text, 11);
    else styleLabel(*text, 11, QFont::Normal, color);
    line->addWidget(icon, 0, Qt::AlignTop);
    line->addWidget(text, 1);
    return row;
}

}  // namespace

ECoreJailView::ECoreJailView(Actions actions, QWidget* parent) : QWidget(parent), actions_(std::move(actions)) {
    setMinimumSize(400, 300);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(14, 12, 14, 4);
    header->setSpacing(8);
    auto* title = new QLabel(uiText("E-Core Jail"), this);
    title->setFont(uiFont(18, QFont::Bold));
    add_ = new QToolButton(this);
    add_->setObjectName("addButton");
    add_->setAutoRaise(true);
    add_->setIcon(symbolIcon("plus.circle.fill", 18, systemAccent(palette())));
    add_->setIconSize(QSize(18, 18));
    add_->setToolTip(uiText("Add Application"));
    add_->setAccessibleName(uiText("Add Application"));
    switch_ = new ToggleSwitch(this);
    switch_->setObjectName("enabledSwitch");
    switch_->setAccessibleName(uiText("E-Core Jail"));
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(add_);
    header->addWidget(switch_);
    column->addLayout(header);

    QLabel* noticeText = nullptr;
    disabledNotice_ = symbolRow(this, "pause.circle.fill", secondaryText(palette()), noticeText, true);
    disabledNotice_->setObjectName("disabledNotice");
    // The list sent while off is empty, which releases nothing.
    noticeText->setText(uiText("Jail is off. Apps it confined stay so until released or restarted."));
    release_ = new QToolButton(disabledNotice_);
    release_->setObjectName("releaseButton");
    release_->setAutoRaise(true);
    release_->setFont(uiFont(11, QFont::Medium));
    QPalette link = release_->palette();
    link.setColor(QPalette::Active, QPalette::ButtonText, systemAccent(link));
    link.setColor(QPalette::Inactive, QPalette::ButtonText, systemAccent(link));
    release_->setPalette(link);
    static_cast<QHBoxLayout*>(disabledNotice_->layout())->addWidget(release_, 0, Qt::AlignTop);
    connect(release_, &QToolButton::clicked, this, [this] {
        if (actions_.release) actions_.release();
    });
    column->addWidget(disabledNotice_);
    syncErrorRow_ = symbolRow(this, "exclamationmark.triangle.fill", accent::orange, syncError_, false);
    syncErrorRow_->setObjectName("syncError");
    column->addWidget(syncErrorRow_);
    column->addWidget(makeDivider(this));

    AppListLook look;
    look.subtitleSize = 10;
    look.removeToolTip = uiText("Remove from jail");
    look.emptySymbol = "hand.raised.fill";
    look.emptySymbolSize = 36;
    look.emptyTitle = uiText("No apps in jail");
    look.emptyBody = uiText("Drag & drop .desktop files here\nor use the + button");
    list_ = new AppList(look,
                        {[this](const QString& key) {
                             if (actions_.removeApp) actions_.removeApp(key);
                         },
                         [this](const QStringList& files) { addDesktopFiles(files); }},
                        this);
    column->addWidget(list_, 1);

    connect(add_, &QToolButton::clicked, this, &ECoreJailView::openAppPicker);
    connect(switch_, &QAbstractButton::clicked, this, [this](bool enabled) {
        if (actions_.setEnabled) actions_.setEnabled(enabled);
    });
    setEnabled(false);
    setSyncError(std::nullopt);
    setRelease(JailRelease::offered);
}

void ECoreJailView::setItems(const std::vector<JailRow>& items) {
    std::vector<AppListRow> rows;
    for (const auto& item : items) {
        // The entry's own icon while its file is still there.
        QIcon icon;
        if (QFileInfo(item.appPath).isFile()) {
            if (auto entry = readApplicationEntry(item.appPath, {})) icon = entry->icon();
        }
        rows.push_back({item.key, item.appName, item.bundleIdentifier, icon});
    }
    list_->setRows(rows);
}

void ECoreJailView::setEnabled(bool enabled) {
    enabled_ = enabled;
    switch_->setChecked(enabled);
    disabledNotice_->setVisible(!enabled);
    list_->setRowOpacity(enabled ? 1.0 : 0.5);
}

void ECoreJailView::setSyncError(const std::optional<std::string>& error) {
    syncErrorRow_->setVisible(error.has_value());
    syncError_->setText(QString::fromStdString(error.value_or("")));
}

void ECoreJailView::setRelease(JailRelease state) {
    release_->setText(uiText(state == JailRelease::released ? "Released" : "Release"));
    release_->setEnabled(state == JailRelease::offered);
    release_->setToolTip(state == JailRelease::heldElsewhere
                             ? uiText("Release Focus and leave Beast Mode first: a release frees every process "
                                      "the helper holds")
                             : uiText("Give the apps the jail confined their cores back"));
}

void ECoreJailView::addDesktopFiles(const QStringList& files) {
    if (!actions_.addApp) return;
    for (const QString& file : files) actions_.addApp(file);
}

void ECoreJailView::openAppPicker() {
    ApplicationPicker::choose(this, [this](const std::vector<ApplicationEntry>& entries) {
        for (const auto& entry : entries) {
            if (actions_.addApp) actions_.addApp(entry.path);
        }
    });
}

}  // namespace korvane::ui
