#include "app/ui/popover/content_view.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QFile>
#include <QTimer>
#include <QVBoxLayout>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/focus/quit_release.h"
#include "app/focus/release_all.h"
#include "app/monitors/core_visualizer_view_model.h"
#include "app/monitors/fan_manager.h"
#include "app/runtime/sleep.h"
#include "app/ui/popover/app_row.h"
#include "app/ui/popover/auto_trigger_settings_view.h"
#include "app/ui/popover/ecore_jail_view.h"
#include "app/ui/popover/elided_label.h"
#include "app/ui/popover/core_visualizer_view.h"
#include "app/ui/popover/fan_control_view.h"
#include "app/ui/popover/focus_visualizer_view.h"
#include "app/ui/popover/list_window_slot.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/row_button.h"
#include "app/ui/popover/status_dot.h"
#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {

QString rgba(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

// A full-width button on a coloured ground (Focus Now, Release Focus, Install).
void styleFilled(QPushButton& button, const QColor& ground) {
    button.setMinimumHeight(30);
    button.setCursor(Qt::PointingHandCursor);
    // The border is always there, so the focus mark only colours it and nothing moves.
    button.setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: 2px solid transparent;"
                                        " border-radius: 7px; padding: 4px 8px; font-weight: 600; }"
                                        "QPushButton:pressed { background: %2; }"
                                        "QPushButton:focus { border-color: %4; }"
                                        "QPushButton:disabled { background: %3; color: rgba(255,255,255,0.85); }")
                             .arg(rgba(ground), rgba(ground.darker(115)), rgba(withOpacity(accent::grey, 0.6)),
                                  rgba(ground.darker(160))));
}

// A small button in a colour of its own, on a faint ground of it (Remove Daemon, Quit, Retry).
void styleTinted(QPushButton& button, const QColor& color, int sidePadding = 7) {
    button.setCursor(Qt::PointingHandCursor);
    button.setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid transparent;"
                                        " border-radius: 5px; padding: 2px %5px; }"
                                        "QPushButton:pressed { background: %3; }"
                                        "QPushButton:focus { border-color: %2; }"
                                        "QPushButton:disabled { color: %4; }")
                             .arg(rgba(withOpacity(color, 0.10)), rgba(color), rgba(withOpacity(color, 0.2)),
                                  rgba(withOpacity(color, 0.4)))
                             .arg(sidePadding));
}

QLabel* symbolLabel(QWidget* parent, const char* symbol, int size, const QColor& color) {
    auto* label = new QLabel(parent);
    label->setPixmap(symbolPixmap(symbol, size, parent->devicePixelRatioF(), color));
    label->setFixedSize(size, size);
    return label;
}

QLabel* errorLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    styleLabel(*label, 11, QFont::Normal, accent::red);
    label->hide();
    return label;
}

void showError(QLabel& label, const std::optional<std::string>& error) {
    label.setVisible(error.has_value());
    label.setText(QString::fromStdString(error.value_or("")));
}

// The application's logo with the popover's rounded corners.
QPixmap appLogo(qreal dpr) {
    const QPixmap art = appLogoPixmap(22, dpr);
    QPixmap logo(art.size());
    logo.setDevicePixelRatio(dpr);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath corners;
    corners.addRoundedRect(QRectF(0, 0, 22, 22), 5, 5);
    painter.setClipPath(corners);
    painter.drawPixmap(0, 0, art);
    return logo;
}

QWidget* badge(QWidget* parent, const QColor& color, QWidget* lead, const QString& text, const char* name) {
    auto* box = new QWidget(parent);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral("#%1 { background: %2; border-radius: 7px; }")
                           .arg(name, rgba(withOpacity(color, 0.15))));
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(5, 1, 6, 1);
    row->setSpacing(3);
    lead->setParent(box);
    row->addWidget(lead);
    auto* label = new QLabel(text, box);
    styleLabel(*label, 10, QFont::DemiBold, color);
    row->addWidget(label);
    return box;
}

// Every control that Tab stops at, in the order the layouts show them: top
// to bottom, and left to right within a row.
void collectTabStops(QWidget* widget, std::vector<QWidget*>& into);

void collectTabStops(QLayout* layout, std::vector<QWidget*>& into) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* widget = item->widget()) {
            collectTabStops(widget, into);
        } else if (QLayout* inner = item->layout()) {
            collectTabStops(inner, into);
        }
    }
}

void collectTabStops(QWidget* widget, std::vector<QWidget*>& into) {
    if (widget->focusPolicy() & Qt::TabFocus) into.push_back(widget);
    if (auto* area = qobject_cast<QScrollArea*>(widget)) {
        if (area->widget()) collectTabStops(area->widget(), into);
    } else if (widget->layout()) {
        collectTabStops(widget->layout(), into);
    }
}

}  // namespace

ContentView::ContentView(PopoverManagers managers, PopoverHooks hooks, QWidget* parent)
    : QWidget(parent), m_(managers), hooks_(std::move(hooks)) {
    setObjectName("contentView");
    setFixedWidth(kWidth);
    if (!hooks_.terminate) hooks_.terminate = [] { QApplication::quit(); };
    quitRelease_ = std::make_unique<app::QuitRelease>(hooks_.mainLoop);

    autoTriggerWindow_ = std::make_unique<ListWindowSlot>(
        hooks_.mainLoop, ListWindowSlot::Options{uiText("Auto-Trigger"), QSize(350, 450), false,
                                              [this](std::function<void()> close) -> QWidget* {
                                                  return makeAutoTriggerView(m_.autoTriggerManager, std::move(close));
                                              }});
    jailWindow_ = std::make_unique<ListWindowSlot>(
        hooks_.mainLoop, ListWindowSlot::Options{uiText("E-Core Jail"), QSize(450, 400), true,
                                              [this](std::function<void()>) -> QWidget* {
                                                  return makeJailView(m_.jailManager, m_.appManager,
                                                                      m_.autoTriggerManager);
                                              }});
    autoFocusWindow_ = std::make_unique<ListWindowSlot>(
        hooks_.mainLoop, ListWindowSlot::Options{uiText("Auto-Focus"), QSize(350, 450), false,
                                              [this](std::function<void()> close) -> QWidget* {
                                                  return makeAutoFocusTargetsView(m_.autoFocusManager, std::move(close));
                                              }});

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    header_ = buildHeader();
    column->addWidget(header_);
    column->addWidget(makeDivider(this));

    body_ = new QWidget;
    auto* bodies = new QVBoxLayout(body_);
    bodies->setContentsMargins(0, 0, 0, 0);
    bodies->setSpacing(0);
    setupSection_ = buildSetupSection();
    inactiveSection_ = buildInactiveSection();
    mainContent_ = buildMainContent();
    bodies->addWidget(setupSection_);
    bodies->addWidget(inactiveSection_);
    bodies->addWidget(mainContent_);
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("bodyScroll");
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidget(body_);
    scroll_->viewport()->setAutoFillBackground(false);
    body_->setAutoFillBackground(false);
    column->addWidget(scroll_, 1);

    column->addWidget(makeDivider(this));
    footer_ = buildFooter();
    column->addWidget(footer_);

    subscribe();
    updateHeader();
    updateBody();
    updateDaemonControls();
    rebuildAppRows();
    updateWorkspaceNote();
    updateControl();
    updateAutoRows();
    orderTabStops();
}

ContentView::~ContentView() = default;

void ContentView::orderTabStops() {
    std::vector<QWidget*> stops;
    collectTabStops(layout(), stops);
    // The view itself holds the focus when the popover opens, so the first
    // Tab lands on the topmost control.
    QWidget* previous = this;
    for (QWidget* stop : stops) {
        setTabOrder(previous, stop);
        previous = stop;
    }
}

QSize ContentView::sizeHint() const {
    // As tall as everything wants, but no taller than the screen allows: the
    // body scrolls beyond that.
    int limit = 760;
    if (QScreen* screen = QGuiApplication::primaryScreen()) limit = screen->availableGeometry().height() - 40;
    return {kWidth, std::min(naturalHeight(), limit)};
}

int ContentView::naturalHeight() const {
    // With the application list at its full height, however far it was squeezed.
    const int squeezed = appScroll_->isVisibleTo(body_) ? appListHeight_ - appScroll_->minimumHeight() : 0;
    return header_->sizeHint().height() + body_->sizeHint().height() + squeezed + footer_->sizeHint().height() + 2;
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitAppList();
}

void ContentView::fitAppList() {
    // One scroll bar, never one inside another: where the popover is too
    // short for everything, the application list gives up height (down to
    // three rows) so the body need not scroll; where even that is too tall,
    // the list shows every row and only the body scrolls.
    const int excess = std::max(0, naturalHeight() - height());
    int fitted = appListHeight_ - excess;
    if (fitted < std::min(appListHeight_, kMinAppListHeight)) fitted = appRowsHeight_;
    if (appScroll_->minimumHeight() != fitted || appScroll_->maximumHeight() != fitted) appScroll_->setFixedHeight(fitted);
}

QWidget* ContentView::buildHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(14, 10, 14, 10);
    row->setSpacing(8);
    auto* logo = new QLabel(header);
    logo->setPixmap(appLogo(devicePixelRatioF()));
    logo->setFixedSize(22, 22);
    auto* name = new QLabel(uiText("app.name"), header);
    name->setFont(uiFont(14, QFont::Bold));
    beastBadge_ = badge(header, accent::purple, symbolLabel(header, "bolt.fill", 10, accent::purple), uiText("Beast"),
                        "beastBadge");
    focusDot_ = new StatusDot(8, accent::green, header);
    focusDot_->setObjectName("focusDot");
    row->addWidget(logo);
    row->addWidget(name);
    row->addWidget(beastBadge_);
    row->addStretch(1);
    row->addWidget(focusDot_);
    return header;
}

QWidget* ContentView::buildSetupSection() {
    auto* section = new QWidget;
    section->setObjectName("setupSection");
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(20, 18, 20, 18);
    column->setSpacing(10);
    column->addWidget(symbolLabel(section, "shield.lefthalf.filled", 36, accent::orange), 0, Qt::AlignHCenter);
    auto* title = new QLabel(uiText("Helper Daemon Required"), section);
    title->setFont(uiFont(14, QFont::Bold));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* text = new QLabel(uiText("Korvane needs a privileged helper to manage CPU core scheduling. This requires "
                                   "one-time administrator approval."),
                            section);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    styleSecondary(*text, 11);
    column->addWidget(text);
    installButton_ = new QPushButton(section);
    installButton_->setObjectName("installHelperButton");
    styleFilled(*installButton_, systemAccent(palette()));
    auto* inside = new QHBoxLayout(installButton_);
    inside->setContentsMargins(10, 0, 0, 0);
    installSpinner_ = new Spinner(14, installButton_);
    inside->addWidget(installSpinner_);
    inside->addStretch(1);
    installSpinner_->hide();
    connect(installButton_, &QPushButton::clicked, this, [this] {
        if (hooks_.installHelper) hooks_.installHelper();
    });
    column->addWidget(installButton_);
    setupError_ = errorLabel(section, "setupError");
    column->addWidget(setupError_);
    return section;
}

QWidget* ContentView::buildInactiveSection() {
    auto* section = new QWidget;
    section->setObjectName("helperInactiveSection");
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(20, 18, 20, 18);
    column->setSpacing(10);
    column->addWidget(symbolLabel(section, "exclamationmark.triangle.fill", 28, accent::yellow), 0, Qt::AlignHCenter);
    auto* title = new QLabel(uiText("Helper Not Responding"), section);
    title->setFont(uiFont(14, QFont::Bold));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* text = new QLabel(uiText("Daemon is installed but not active.\nTry reinstalling the helper daemon."), section);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    styleSecondary(*text, 11);
    column->addWidget(text);
    auto* buttons = new QHBoxLayout;
    retryButton_ = new QPushButton(symbolIcon("arrow.clockwise", 14, systemAccent(palette())), uiText("Retry"), section);
    retryButton_->setObjectName("retryButton");
    styleTinted(*retryButton_, systemAccent(palette()));
    reinstallButton_ = new QPushButton(symbolIcon("arrow.triangle.2.circlepath", 14, accent::orange),
                                       uiText("Reinstall"), section);
    reinstallButton_->setObjectName("reinstallButton");
    styleTinted(*reinstallButton_, accent::orange);
    buttons->addStretch(1);
    buttons->addWidget(retryButton_);
    buttons->addWidget(reinstallButton_);
    buttons->addStretch(1);
    column->addLayout(buttons);
    inactiveError_ = errorLabel(section, "inactiveError");
    column->addWidget(inactiveError_);
    connect(retryButton_, &QPushButton::clicked, this, &ContentView::retry);
    connect(reinstallButton_, &QPushButton::clicked, this, &ContentView::reinstall);
    return section;
}

QWidget* ContentView::buildMainContent() {
    auto* content = new QWidget;
    content->setObjectName("mainContent");
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 10, 14, 10);
    column->setSpacing(10);

    // 1. Which applications sit where.
    auto* usage = new QWidget(content);
    auto* usageColumn = new QVBoxLayout(usage);
    usageColumn->setContentsMargins(0, 0, 0, 0);
    usageColumn->setSpacing(6);
    auto* usageTitle = new QLabel(uiText("Core Usage"), usage);
    styleSecondary(*usageTitle, 11, QFont::Bold);
    usageColumn->addWidget(usageTitle);
    focusVisualizer_ = new FocusVisualizerView(usage);
    usageColumn->addWidget(focusVisualizer_);
    column->addWidget(usage);

    // 2. The per-core bars.
    coreVisualizer_ = makeCoreVisualizerView(m_.coreVisualizer);
    column->addWidget(coreVisualizer_);

    // 3.-8., a divider before each.
    column->addWidget(makeDivider(content));
    column->addWidget(buildFocusAppSection());
    column->addWidget(makeDivider(content));

    auto* control = new QWidget(content);
    auto* controlColumn = new QVBoxLayout(control);
    controlColumn->setContentsMargins(0, 0, 0, 0);
    focusButton_ = new QPushButton(uiText("Focus Now"), control);
    focusButton_->setObjectName("focusNowButton");
    releaseButton_ = new QPushButton(uiText("Release Focus"), control);
    releaseButton_->setObjectName("releaseFocusButton");
    styleFilled(*releaseButton_, accent::orange);
    controlColumn->addWidget(focusButton_);
    controlColumn->addWidget(releaseButton_);
    column->addWidget(control);
    connect(focusButton_, &QPushButton::clicked, this, [this] {
        if (!m_.appManager.focusApp.get()) return;
        app::spawn(hooks_.mainLoop, [apps = &m_.appManager, xpc = &m_.xpcManager]() -> app::Async<> {
            co_await apps->activateFocusMode(*xpc);
        });
    });
    connect(releaseButton_, &QPushButton::clicked, this, [this] {
        app::spawn(hooks_.mainLoop, [apps = &m_.appManager, xpc = &m_.xpcManager,
                                     beast = &m_.autoTriggerManager]() -> app::Async<> {
            co_await app::releaseFocusAndBeastMode(*apps, *xpc, beast);
        });
    });
    column->addWidget(makeDivider(content));

    // 5. Auto-Focus, with the way to its targets.
    auto* autoFocus = new QWidget(content);
    auto* autoFocusColumn = new QVBoxLayout(autoFocus);
    autoFocusColumn->setContentsMargins(0, 0, 0, 0);
    autoFocusColumn->setSpacing(6);
    auto* switchRow = new QHBoxLayout;
    auto* autoFocusLabel = new QLabel(uiText("Auto-Focus"), autoFocus);
    autoFocusLabel->setFont(uiFont(12, QFont::Medium));
    autoFocusSwitch_ = new ToggleSwitch(autoFocus);
    autoFocusSwitch_->setObjectName("autoFocusSwitch");
    autoFocusSwitch_->setAccessibleName(uiText("Auto-Focus"));
    switchRow->addWidget(autoFocusLabel);
    switchRow->addStretch(1);
    switchRow->addWidget(autoFocusSwitch_);
    autoFocusColumn->addLayout(switchRow);
    autoFocusTargetsRow_ = new RowButton(autoFocus);
    autoFocusTargetsRow_->setObjectName("autoFocusTargetsRow");
    autoFocusTargetsRow_->setTint(systemAccent(palette()), 0.05);
    auto* targetsLabel = new QLabel(uiText("Auto-Focus Targets"), autoFocusTargetsRow_);
    targetsLabel->setFont(uiFont(12));
    autoFocusTargetCount_ = new QLabel(autoFocusTargetsRow_);
    styleSecondary(*autoFocusTargetCount_, 11);
    autoFocusTargetsRow_->row()->addWidget(targetsLabel);
    autoFocusTargetsRow_->row()->addStretch(1);
    autoFocusTargetsRow_->row()->addWidget(autoFocusTargetCount_);
    autoFocusTargetsRow_->row()->addWidget(
        symbolLabel(autoFocusTargetsRow_, "chevron.right", 10, secondaryText(palette())));
    autoFocusColumn->addWidget(autoFocusTargetsRow_);
    column->addWidget(autoFocus);
    connect(autoFocusSwitch_, &QAbstractButton::clicked, this,
            [this](bool on) { m_.autoFocusManager.isEnabled = on; });
    connect(autoFocusTargetsRow_, &QAbstractButton::clicked, this,
            [this] { autoFocusWindow_->show(hooks_.closePopover); });
    column->addWidget(makeDivider(content));

    // 6. Auto-Trigger.
    autoTriggerRow_ = new RowButton(content);
    autoTriggerRow_->setObjectName("autoTriggerRow");
    auto* triggerLabel = new ElidedLabel(uiText("Auto-Trigger (Beast Mode)"), autoTriggerRow_);
    triggerLabel->setFont(uiFont(12, QFont::Medium));
    auto* dot = new StatusDot(6, accent::purple);
    beastActiveBadge_ = badge(autoTriggerRow_, accent::purple, dot, uiText("Active"), "beastActiveBadge");
    autoTriggerOn_ = new QLabel(uiText("On"), autoTriggerRow_);
    autoTriggerOn_->setObjectName("autoTriggerOn");
    styleSecondary(*autoTriggerOn_, 11);
    autoTriggerRow_->row()->addWidget(triggerLabel);
    autoTriggerRow_->row()->addWidget(beastActiveBadge_);
    autoTriggerRow_->row()->addStretch(1);
    autoTriggerRow_->row()->addWidget(autoTriggerOn_);
    autoTriggerRow_->row()->addWidget(symbolLabel(autoTriggerRow_, "chevron.right", 10, secondaryText(palette())));
    column->addWidget(autoTriggerRow_);
    connect(autoTriggerRow_, &QAbstractButton::clicked, this,
            [this] { autoTriggerWindow_->show(hooks_.closePopover); });
    column->addWidget(makeDivider(content));

    // 7. The fan.
    fanControl_ = makeFanControlView(m_.fanManager, hooks_.mainLoop);
    column->addWidget(fanControl_);
    column->addWidget(makeDivider(content));

    // 8. The jail.
    jailRow_ = new RowButton(content);
    jailRow_->setObjectName("jailRow");
    auto* jailLabel = new QLabel(uiText("E-Core Jail Manager"), jailRow_);
    jailLabel->setFont(uiFont(12, QFont::Medium));
    jailCount_ = new QWidget(jailRow_);
    jailCount_->setObjectName("jailCount");
    auto* countRow = new QHBoxLayout(jailCount_);
    countRow->setContentsMargins(0, 0, 0, 0);
    countRow->setSpacing(4);
    countRow->addWidget(new StatusDot(6, accent::red, jailCount_));
    jailCountText_ = new QLabel(jailCount_);
    styleSecondary(*jailCountText_, 11);
    countRow->addWidget(jailCountText_);
    jailRow_->row()->addWidget(jailLabel);
    jailRow_->row()->addStretch(1);
    jailRow_->row()->addWidget(jailCount_);
    jailRow_->row()->addWidget(symbolLabel(jailRow_, "chevron.right", 10, secondaryText(palette())));
    column->addWidget(jailRow_);
    connect(jailRow_, &QAbstractButton::clicked, this, [this] { jailWindow_->show(hooks_.closePopover); });
    return content;
}

QWidget* ContentView::buildFocusAppSection() {
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* header = new QHBoxLayout;
    auto* title = new QLabel(uiText("Focus Application"), section);
    title->setFont(uiFont(12, QFont::DemiBold));
    appCount_ = new QLabel(section);
    appCount_->setObjectName("appCount");
    styleSecondary(*appCount_, 11);
    auto* refresh = new QToolButton(section);
    refresh->setObjectName("refreshAppsButton");
    refresh->setAutoRaise(true);
    refresh->setIcon(symbolIcon("arrow.clockwise", 12, secondaryText(palette())));
    refresh->setAccessibleName(uiText("Refresh"));
    connect(refresh, &QToolButton::clicked, this, [this] { m_.appManager.refreshRunningApps(); });
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(appCount_);
    header->addWidget(refresh);
    column->addLayout(header);

    // What this desktop keeps from Korvane (a Wayland desktop without a way
    // in, GNOME without Korvane's extension), and what to do about it.
    workspaceNote_ = new QLabel(section);
    workspaceNote_->setObjectName("workspaceNote");
    workspaceNote_->setWordWrap(true);
    workspaceNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    styleSecondary(*workspaceNote_, 11);
    column->addWidget(workspaceNote_);

    noApps_ = new QLabel(uiText("No running apps detected"), section);
    noApps_->setObjectName("noApps");
    noApps_->setAlignment(Qt::AlignCenter);
    styleSecondary(*noApps_, 11);
    column->addWidget(noApps_);

    appScroll_ = new QScrollArea(section);
    appScroll_->setObjectName("appList");
    appScroll_->setFocusPolicy(Qt::NoFocus);
    appScroll_->setFrameShape(QFrame::NoFrame);
    appScroll_->setWidgetResizable(true);
    appScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    appScroll_->viewport()->setAutoFillBackground(false);
    auto* rows = new QWidget(appScroll_);
    rows->setAutoFillBackground(false);
    appList_ = new QVBoxLayout(rows);
    appList_->setContentsMargins(0, 0, 0, 0);
    appList_->setSpacing(2);
    appList_->addStretch(1);
    appScroll_->setWidget(rows);
    column->addWidget(appScroll_);
    return section;
}

QWidget* ContentView::buildFooter() {
    auto* footer = new QWidget(this);
    auto* column = new QVBoxLayout(footer);
    column->setContentsMargins(8, 8, 8, 10);  // narrower than the body's: the footer row is full
    column->setSpacing(6);
    footerError_ = errorLabel(footer, "footerError");
    footerError_->setAlignment(Qt::AlignLeft);
    column->addWidget(footerError_);

    auto* status = new QHBoxLayout;
    status->setSpacing(3);
    daemonDot_ = new StatusDot(6, accent::grey, footer);
    daemonDot_->setObjectName("daemonDot");
    daemonText_ = new QLabel(footer);
    daemonText_->setObjectName("daemonStatus");
    styleSecondary(*daemonText_, 11);
    removeButton_ = new QPushButton(symbolIcon("trash", 12, accent::red), uiText("Remove Daemon"), footer);
    removeButton_->setObjectName("removeDaemonButton");
    styleTinted(*removeButton_, accent::red, 4);
    footerInstallButton_ =
        new QPushButton(symbolIcon("arrow.down.circle", 12, systemAccent(palette())), uiText("Install Daemon"), footer);
    footerInstallButton_->setObjectName("installDaemonButton");
    styleTinted(*footerInstallButton_, systemAccent(palette()), 4);
    footerSpinner_ = new Spinner(12, footer);
    footerSpinner_->hide();
    quitButton_ = new QPushButton(uiText("Quit"), footer);
    quitButton_->setObjectName("quitButton");
    styleTinted(*quitButton_, accent::red, 4);
    // One row, within the width: the buttons speak as small as the status.
    for (QPushButton* button : {removeButton_, footerInstallButton_, quitButton_}) button->setFont(uiFont(11));
    status->addWidget(daemonDot_);
    status->addWidget(daemonText_, 1);
    status->addWidget(footerSpinner_);
    status->addWidget(removeButton_);
    status->addWidget(footerInstallButton_);
    status->addWidget(quitButton_);
    column->addLayout(status);

    // Removing stops the helper: asked once, saying what happens to what it holds.
    removeConfirmation_ = new QWidget(footer);
    removeConfirmation_->setObjectName("removeConfirmation");
    auto* confirmColumn = new QVBoxLayout(removeConfirmation_);
    confirmColumn->setContentsMargins(0, 0, 0, 0);
    confirmColumn->setSpacing(6);
    removeQuestion_ = new QLabel(removeConfirmation_);
    removeQuestion_->setObjectName("removeQuestion");
    removeQuestion_->setWordWrap(true);
    styleSecondary(*removeQuestion_, 11);
    confirmColumn->addWidget(removeQuestion_);
    auto* confirmButtons = new QHBoxLayout;
    confirmButtons->addStretch(1);
    cancelRemoveButton_ = new QPushButton(uiText("Cancel"), removeConfirmation_);
    cancelRemoveButton_->setObjectName("cancelRemoveButton");
    styleTinted(*cancelRemoveButton_, accent::grey);
    confirmRemoveButton_ = new QPushButton(uiText("Remove"), removeConfirmation_);
    confirmRemoveButton_->setObjectName("confirmRemoveButton");
    styleTinted(*confirmRemoveButton_, accent::red);
    for (QPushButton* button : {cancelRemoveButton_, confirmRemoveButton_}) button->setFont(uiFont(11));
    confirmButtons->addWidget(cancelRemoveButton_);
    confirmButtons->addWidget(confirmRemoveButton_);
    confirmColumn->addLayout(confirmButtons);
    removeConfirmation_->hide();
    column->addWidget(removeConfirmation_);

    connect(removeButton_, &QPushButton::clicked, this, &ContentView::askToRemoveDaemon);
    connect(cancelRemoveButton_, &QPushButton::clicked, this, [this] {
        removeConfirmation_->hide();
        removeButton_->setFocus(Qt::TabFocusReason);
        updateGeometry();
    });
    connect(confirmRemoveButton_, &QPushButton::clicked, this, [this] {
        removeConfirmation_->hide();
        updateGeometry();
        removeDaemon();
    });
    connect(footerInstallButton_, &QPushButton::clicked, this, [this] {
        if (hooks_.installHelper) hooks_.installHelper();
    });
    connect(quitButton_, &QPushButton::clicked, this, &ContentView::quit);
    return footer;
}

void ContentView::subscribe() {
    auto& apps = m_.appManager;
    auto& xpc = m_.xpcManager;
    auto on = [this](auto& published, auto... updates) {
        subscriptions_.push_back(published.observe([this, updates...](const auto&) { (((*this).*updates)(), ...); }));
    };
    on(apps.isFocusModeActive, &ContentView::updateHeader, &ContentView::updateControl);
    on(apps.focusApp, &ContentView::updateAppMarks, &ContentView::updateControl);
    on(apps.runningApps, &ContentView::rebuildAppRows);
    on(apps.workspaceBlindSpot, &ContentView::updateWorkspaceNote);
    on(apps.pCoreApps, &ContentView::updateHeader);
    on(apps.eCoreApps, &ContentView::updateHeader);
    on(xpc.helperInstalled, &ContentView::updateBody, &ContentView::updateDaemonControls);
    on(xpc.helperActive, &ContentView::updateBody, &ContentView::updateDaemonControls);
    on(xpc.isProcessing, &ContentView::updateDaemonControls);
    on(xpc.lastError, &ContentView::updateDaemonControls);
    on(xpc.throttledPIDs, &ContentView::updateAppMarks);
    on(m_.autoTriggerManager.isBeastModeActive, &ContentView::updateHeader, &ContentView::updateAutoRows);
    on(m_.autoTriggerManager.isEnabled, &ContentView::updateAutoRows);
    on(m_.autoFocusManager.isEnabled, &ContentView::updateAutoRows);
    on(m_.autoFocusManager.targets, &ContentView::updateAutoRows);
    on(m_.jailManager.isEnabled, &ContentView::updateAutoRows);
    on(m_.jailManager.jailedApps, &ContentView::updateAutoRows);
}

void ContentView::updateHeader() {
    const auto& apps = m_.appManager;
    beastBadge_->setVisible(m_.autoTriggerManager.isBeastModeActive.get());
    focusDot_->setColor(apps.isFocusModeActive.get() ? accent::orange : accent::green);
    focusVisualizer_->setAllocation(appEntries(apps.pCoreApps.get()), appEntries(apps.eCoreApps.get()),
                                    apps.isFocusModeActive.get());
}

void ContentView::updateBody() {
    const bool installed = m_.xpcManager.helperInstalled.get();
    const bool active = m_.xpcManager.helperActive.get();
    setupSection_->setVisible(!installed);
    inactiveSection_->setVisible(installed && !active);
    mainContent_->setVisible(installed && active);
    updateGeometry();
}

void ContentView::updateDaemonControls() {
    const auto& xpc = m_.xpcManager;
    const bool busy = xpc.isProcessing.get();
    const bool installed = xpc.helperInstalled.get();
    const bool active = xpc.helperActive.get();
    installButton_->setEnabled(!busy);
    installButton_->setText(busy ? uiText("Installing...") : uiText("Install Helper"));
    installButton_->setIcon(busy ? QIcon() : symbolIcon("arrow.down.circle.fill", 14, Qt::white));
    installSpinner_->setVisible(busy);
    retryButton_->setEnabled(!busy);
    reinstallButton_->setEnabled(!busy);
    showError(*setupError_, xpc.lastError.get());
    showError(*inactiveError_, xpc.lastError.get());
    // The setup and "not responding" cards show the error themselves; once is enough.
    showError(*footerError_, installed && active ? xpc.lastError.get() : std::nullopt);

    daemonDot_->setColor(installed ? (active ? accent::green : accent::yellow) : accent::grey);
    daemonText_->setText(installed ? (active ? uiText("Daemon Active") : uiText("Daemon Installed"))
                                   : uiText("Daemon Not Installed"));
    removeButton_->setVisible(installed);
    removeButton_->setEnabled(!busy);
    if (!installed || busy) removeConfirmation_->hide();
    footerInstallButton_->setVisible(!installed);
    footerInstallButton_->setEnabled(!busy);
    footerInstallButton_->setIcon(busy ? QIcon() : symbolIcon("arrow.down.circle", 12, systemAccent(palette())));
    footerSpinner_->setVisible(!installed && busy);
}

void ContentView::updateWorkspaceNote() {
    const std::string& note = m_.appManager.workspaceBlindSpot.get();
    workspaceNote_->setText(QString::fromStdString(note));
    workspaceNote_->setVisible(!note.empty());
}

void ContentView::rebuildAppRows() {
    const auto& running = m_.appManager.runningApps.get();
    appCount_->setText(uiFormat("%lld apps", {static_cast<std::int64_t>(running.size())}));
    noApps_->setVisible(running.empty());
    appScroll_->setVisible(!running.empty());

    std::map<std::int32_t, AppRow*> kept;
    for (const auto& info : running) {
        AppRow* row = nullptr;
        if (auto found = appRows_.find(info.id); found != appRows_.end()) {
            row = found->second;
            appRows_.erase(found);
            row->setApp(appEntry(info));
        } else {
            const std::int32_t pid = info.id;
            row = new AppRow(appEntry(info), false, false, [this, pid] {
                // The choice is frozen while focus is on.
                if (m_.appManager.isFocusModeActive.get()) return;
                for (const auto& candidate : m_.appManager.runningApps.get()) {
                    if (candidate.id != pid) continue;
                    const app::AppInfo chosen = candidate;
                    m_.appManager.focusApp = chosen;
                    return;
                }
            });
        }
        appList_->removeWidget(row);
        appList_->insertWidget(static_cast<int>(kept.size()), row);
        kept.emplace(info.id, row);
    }
    for (auto& [pid, stale] : appRows_) delete stale;
    appRows_ = std::move(kept);
    // At most 200 high; fewer rows take only their room.
    const int rowsHeight = static_cast<int>(running.size()) * (28 + 2);
    appRowsHeight_ = std::max(0, rowsHeight - 2);
    appListHeight_ = std::min(kMaxAppListHeight, appRowsHeight_);
    appScroll_->setFixedHeight(appListHeight_);
    fitAppList();
    updateGeometry();  // the popover follows while it is open
    updateAppMarks();
    orderTabStops();
}

void ContentView::updateAppMarks() {
    const auto& focus = m_.appManager.focusApp.get();
    const auto& throttled = m_.xpcManager.throttledPIDs.get();
    for (auto& [pid, row] : appRows_) row->setMarks(focus && focus->id == pid, throttled.count(pid) > 0);
}

void ContentView::updateControl() {
    const bool focusOn = m_.appManager.isFocusModeActive.get();
    const bool chosen = m_.appManager.focusApp.get().has_value();
    releaseButton_->setVisible(focusOn);
    focusButton_->setVisible(!focusOn);
    focusButton_->setEnabled(chosen);
    styleFilled(*focusButton_, chosen ? systemAccent(palette()) : accent::grey);
}

void ContentView::updateAutoRows() {
    autoFocusSwitch_->setChecked(m_.autoFocusManager.isEnabled.get());
    const auto targets = static_cast<std::int64_t>(m_.autoFocusManager.targets.get().size());
    autoFocusTargetCount_->setText(uiFormat("%lld", {targets}));

    const bool beast = m_.autoTriggerManager.isBeastModeActive.get();
    beastActiveBadge_->setVisible(beast);
    autoTriggerOn_->setVisible(m_.autoTriggerManager.isEnabled.get());
    autoTriggerRow_->setTint(accent::purple, beast ? 0.10 : 0.05);

    const bool jailOn = m_.jailManager.isEnabled.get();
    jailCount_->setVisible(jailOn);
    jailCountText_->setText(uiFormat("%lld app", {static_cast<std::int64_t>(m_.jailManager.jailedApps->size())}));
    jailRow_->setTint(accent::red, jailOn ? 0.10 : 0.05);
}

void ContentView::retry() {
    app::spawn(hooks_.mainLoop, [xpc = &m_.xpcManager]() -> app::Async<> {
        xpc->isProcessing = true;
        xpc->lastError = std::nullopt;
        co_await xpc->pingHelper();
        if (!xpc->helperActive.get()) {
            xpc->checkHelperStatus();
            co_await app::sleepFor(kRetryPause);
            co_await xpc->pingHelper();
        }
        xpc->isProcessing = false;
    });
}

void ContentView::reinstall() {
    if (hooks_.removeHelper) hooks_.removeHelper();
    reinstallTimer_ = Timer::once(hooks_.mainLoop, kReinstallPause, [this] {
        if (hooks_.installHelper) hooks_.installHelper();
    });
}

void ContentView::removeDaemon() {
    if (!m_.appManager.isFocusModeActive.get()) {
        if (hooks_.removeHelper) hooks_.removeHelper();
        return;
    }
    app::spawn(hooks_.mainLoop,
               [apps = &m_.appManager, xpc = &m_.xpcManager, remove = hooks_.removeHelper]() -> app::Async<> {
                   co_await apps->runFocusReleaseSequence(*xpc);
                   if (remove) remove();
               });
}

void ContentView::askToRemoveDaemon() {
    const auto held = static_cast<std::int64_t>(m_.xpcManager.throttledPIDs->size());
    // The removal hands every process on the helper's records back before it
    // deletes anything, so nothing stays throttled; what goes is the means.
    removeQuestion_->setText(
        held > 0 ? uiFormat("Remove the helper daemon? It first gives the %lld throttled processes their cores back; "
                            "after that nothing is throttled, jailed apps included, until you install it again.",
                            {held})
                 : uiText("Remove the helper daemon? Nothing is throttled now, and nothing can be, jailed apps "
                          "included, until you install it again."));
    removeConfirmation_->show();
    updateGeometry();
    cancelRemoveButton_->setFocus(Qt::TabFocusReason);
}

void ContentView::quit() {
    quitRelease_->start(m_.appManager, m_.xpcManager, hooks_.terminate, &m_.autoTriggerManager);
}

void ContentView::setupNewAppObserver() {
    removeNewAppObserver();
    newAppObserver_ = m_.appManager.newAppLaunchedDuringFocus().subscribe(
        [loop = &hooks_.mainLoop, xpc = &m_.xpcManager](std::int32_t pid) {
            app::spawn(*loop, [xpc, pid]() -> app::Async<> { co_await xpc->throttleProcess(pid); });
        });
}

void ContentView::removeNewAppObserver() { newAppObserver_.cancel(); }

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Every opening starts at the top, with nothing asked and no control marked.
    scroll_->verticalScrollBar()->setValue(0);
    scroll_->horizontalScrollBar()->setValue(0);
    appScroll_->verticalScrollBar()->setValue(0);
    removeConfirmation_->hide();
    setFocus(Qt::OtherFocusReason);
    m_.appManager.refreshRunningApps();
    setupNewAppObserver();
    // What the popover shows of the helper is checked, not remembered: a
    // helper that died since the last call would still look active.
    if (!m_.xpcManager.isProcessing.get()) m_.xpcManager.checkHelperStatus();
    healthRecheck_ = Timer::repeating(hooks_.mainLoop, kHealthRecheck, [xpc = &m_.xpcManager] {
        if (!xpc->helperActive.get() && !xpc->isProcessing.get()) xpc->checkHelperStatus();
    });
    if (!m_.fanManager.isViewVisible) {
        m_.fanManager.isViewVisible = true;
        m_.fanManager.startPolling();
    }
    // Test-only: end-to-end tests drive the real window from outside and
    // need to know where the controls are once laid out.
    const QString report = qEnvironmentVariable("KORVANE_TEST_GEOMETRY_FILE");
    if (!report.isEmpty()) {
        QTimer::singleShot(100, this, [this, report] {
            QFile file(report);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(controlGeometry().toUtf8());
        });
    }
}

void ContentView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    removeNewAppObserver();
    healthRecheck_.cancel();
    if (m_.fanManager.isViewVisible) {
        m_.fanManager.isViewVisible = false;
        m_.fanManager.startPolling();
    }
}

std::vector<AppRow*> ContentView::appRows() const {
    std::vector<AppRow*> rows;
    for (int i = 0; i < appList_->count(); ++i) {
        if (auto* row = qobject_cast<AppRow*>(appList_->itemAt(i)->widget())) rows.push_back(row);
    }
    return rows;
}

QString ContentView::controlGeometry() const {
    QString lines;
    const QList<QAbstractButton*> buttons = findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        if (button->objectName().isEmpty()) continue;
        const QString name = button->objectName() == "appRow" ? "appRow:" + button->accessibleName().replace(' ', '_')
                                                               : button->objectName();
        const QPoint topLeft = button->mapToGlobal(QPoint(0, 0));
        lines += QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                     .arg(name)
                     .arg(topLeft.x())
                     .arg(topLeft.y())
                     .arg(button->width())
                     .arg(button->height())
                     .arg(button->isVisible() ? 1 : 0)
                     .arg(button->isEnabled() ? 1 : 0);
    }
    return lines;
}

ContentView* makeContentView(PopoverManagers managers, MainLoop& loop, std::function<void()> closePopover,
                             std::function<void()> terminate) {
    app::XPCManager& xpc = managers.xpcManager;
    return new ContentView(managers, {loop, std::move(closePopover), std::move(terminate),
                                      [&xpc] { xpc.installHelper(); }, [&xpc] { xpc.removeHelper(); }});
}

}  // namespace korvane::ui
