#include "app/ui/popover/content_view.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/client/xpc_manager.h"
#include "app/focus/app_manager.h"
#include "app/monitors/fan_manager.h"
#include "app/runtime/task.h"
#include "app/ui/popover/core_usage_section.h"
#include "app/ui/popover/core_visualizer_view.h"
#include "app/ui/popover/fan_control_view.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/popover_header.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {

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

QScrollArea* plainScrollArea(QWidget* parent, QWidget* content) {
    auto* area = new QScrollArea(parent);
    area->setObjectName("bodyScroll");
    area->setFocusPolicy(Qt::NoFocus);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(content);
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return area;
}

}  // namespace

ContentView::ContentView(PopoverManagers managers, PopoverHooks hooks, QWidget* parent)
    : QWidget(parent), m_(managers), hooks_(std::move(hooks)) {
    setObjectName("contentView");
    setAccessibleName(uiText("app.name"));
    setFixedWidth(kWidth);
    if (!hooks_.terminate) hooks_.terminate = [] { QApplication::quit(); };

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    header_ = new PopoverHeader(m_.appManager, m_.autoTriggerManager, this);
    column->addWidget(header_);
    column->addWidget(makeDivider(this));

    body_ = new QWidget;
    auto* bodies = new QVBoxLayout(body_);
    bodies->setContentsMargins(0, 0, 0, 0);
    bodies->setSpacing(0);
    setup_ = new HelperSetupCard(m_.xpcManager, hooks_.installHelper);
    notResponding_ = new HelperNotRespondingCard(m_.xpcManager, hooks_.mainLoop, hooks_.installHelper,
                                                 hooks_.removeHelper);
    mainContent_ = buildMainContent();
    bodies->addWidget(setup_);
    bodies->addWidget(notResponding_);
    bodies->addWidget(mainContent_);
    scroll_ = plainScrollArea(this, body_);
    column->addWidget(scroll_, 1);

    column->addWidget(makeDivider(this));
    footer_ = new PopoverFooter(m_.appManager, m_.xpcManager, m_.autoTriggerManager, hooks_.mainLoop,
                                {hooks_.installHelper, hooks_.removeHelper, hooks_.terminate, [this] { updateGeometry(); }},
                                this);
    column->addWidget(footer_);

    for (const auto* flag : {&m_.xpcManager.helperInstalled, &m_.xpcManager.helperActive}) {
        subscriptions_.push_back(flag->observe([this](bool) { showBody(); }));
    }
    showBody();
    fitAppList();
    orderTabStops();
}

ContentView::~ContentView() = default;

// The main body, top to bottom, a divider between the parts from the
// application list on.
QWidget* ContentView::buildMainContent() {
    auto* content = new QWidget;
    content->setObjectName("mainContent");
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 10, 14, 10);
    column->setSpacing(10);
    const auto closePopover = hooks_.closePopover;
    coreUsage_ = new CoreUsageSection(m_.appManager, content);
    coreVisualizer_ = makeCoreVisualizerView(m_.coreVisualizer);
    apps_ = new FocusAppSection(m_.appManager, m_.xpcManager, [this] { appRowsChanged(); }, content);
    control_ = new FocusControlSection(m_.appManager, m_.xpcManager, m_.autoTriggerManager, hooks_.mainLoop, content);
    autoFocus_ = new AutoFocusSection(m_.autoFocusManager, hooks_.mainLoop, closePopover, content);
    autoTrigger_ = new AutoTriggerRow(m_.autoTriggerManager, hooks_.mainLoop, closePopover, content);
    fanControl_ = makeFanControlView(m_.fanManager, hooks_.mainLoop);
    jail_ = new JailManagerRow(m_.jailManager, m_.appManager, m_.autoTriggerManager, hooks_.mainLoop, closePopover, content);

    column->addWidget(coreUsage_);
    column->addWidget(coreVisualizer_);
    for (QWidget* part : std::initializer_list<QWidget*>{apps_, control_, autoFocus_, autoTrigger_, fanControl_, jail_}) {
        column->addWidget(makeDivider(content));
        column->addWidget(part);
    }
    return content;
}

FocusVisualizerView* ContentView::focusVisualizer() const { return coreUsage_->visualizer(); }

void ContentView::showBody() {
    const bool installed = m_.xpcManager.helperInstalled.get();
    const bool active = m_.xpcManager.helperActive.get();
    setup_->setVisible(!installed);
    notResponding_->setVisible(installed && !active);
    mainContent_->setVisible(installed && active);
    updateGeometry();
}

void ContentView::appRowsChanged() {
    fitAppList();
    updateGeometry();  // the popover follows while it is open
    orderTabStops();
}

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
    const int squeezed = apps_->listArea()->isVisibleTo(body_) ? apps_->squeezedBy() : 0;
    return header_->sizeHint().height() + body_->sizeHint().height() + squeezed + footer_->sizeHint().height() + 2;
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitAppList();
}

void ContentView::fitAppList() { apps_->fitList(std::max(0, naturalHeight() - height())); }

void ContentView::observeNewApps() {
    newAppObserver_ = m_.appManager.newAppLaunchedDuringFocus().subscribe(
        [loop = &hooks_.mainLoop, xpc = &m_.xpcManager](std::int32_t pid) {
            app::spawn(*loop, [xpc, pid]() -> app::Async<> { co_await xpc->throttleProcess(pid); });
        });
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Every opening starts at the top, with nothing asked and no control marked.
    scroll_->verticalScrollBar()->setValue(0);
    scroll_->horizontalScrollBar()->setValue(0);
    apps_->listArea()->verticalScrollBar()->setValue(0);
    footer_->removeConfirmation()->hide();
    setFocus(Qt::OtherFocusReason);
    m_.appManager.refreshRunningApps();
    observeNewApps();
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
}

void ContentView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    newAppObserver_.cancel();
    healthRecheck_.cancel();
    if (m_.fanManager.isViewVisible) {
        m_.fanManager.isViewVisible = false;
        m_.fanManager.startPolling();
    }
}

ContentView* makeContentView(PopoverManagers managers, MainLoop& loop, std::function<void()> closePopover,
                             std::function<void()> terminate) {
    app::XPCManager& xpc = managers.xpcManager;
    return new ContentView(managers, {loop, std::move(closePopover), std::move(terminate),
                                      [&xpc] { xpc.installHelper(); }, [&xpc] { xpc.removeHelper(); }});
}

}  // namespace korvane::ui
