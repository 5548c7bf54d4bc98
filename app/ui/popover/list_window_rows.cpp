#include "app/ui/popover/list_window_rows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/focus/auto_focus_manager.h"
#include "app/focus/auto_trigger_manager.h"
#include "app/focus/ecore_jail_manager.h"
#include "app/ui/popover/auto_trigger_settings_view.h"
#include "app/ui/popover/ecore_jail_view.h"
#include "app/ui/popover/elided_label.h"
#include "app/ui/popover/list_window_slot.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/popover_style.h"
#include "app/ui/popover/status_dot.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/toggle_switch.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {
namespace {

QLabel* rowTitle(QLabel* label, QFont::Weight weight) {
    label->setFont(uiFont(12, weight));
    return label;
}

}  // namespace

ListWindowRow::ListWindowRow(QLabel* title, std::unique_ptr<ListWindowSlot> window,
                             std::function<void()> closePopover, QWidget* parent)
    : RowButton(parent), window_(std::move(window)) {
    title->setParent(this);
    setAccessibleName(title->text());
    row()->addWidget(title);
    row()->addStretch(1);
    row()->addWidget(symbolLabel(this, "chevron.right", 10, secondaryText(palette())));
    connect(this, &QAbstractButton::clicked, this,
            [this, close = std::move(closePopover)] { window_->show(close); });
}

ListWindowRow::~ListWindowRow() = default;

void ListWindowRow::addLead(QWidget* widget) { row()->insertWidget(1, widget); }

void ListWindowRow::addTrailing(QWidget* widget) { row()->insertWidget(row()->count() - 1, widget); }

AutoFocusSection::AutoFocusSection(app::AutoFocusManager& manager, MainLoop& loop, std::function<void()> closePopover,
                                   QWidget* parent)
    : QWidget(parent), manager_(manager) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* switchRow = new QHBoxLayout;
    auto* label = rowTitle(new QLabel(uiText("Auto-Focus"), this), QFont::Medium);
    switch_ = new ToggleSwitch(this);
    switch_->setObjectName("autoFocusSwitch");
    switch_->setAccessibleName(uiText("Auto-Focus"));
    switchRow->addWidget(label);
    switchRow->addStretch(1);
    switchRow->addWidget(switch_);
    column->addLayout(switchRow);
    auto window = std::make_unique<ListWindowSlot>(
        loop, ListWindowSlot::Options{uiText("Auto-Focus"), QSize(350, 450), false,
                                      [this](std::function<void()> close) -> QWidget* {
                                          return makeAutoFocusTargetsView(manager_, std::move(close));
                                      }});
    targetsRow_ = new ListWindowRow(rowTitle(new QLabel(uiText("Auto-Focus Targets")), QFont::Normal),
                                    std::move(window), std::move(closePopover), this);
    targetsRow_->setObjectName("autoFocusTargetsRow");
    targetsRow_->setTint(systemAccent(palette()), 0.05);
    targetCount_ = new QLabel(targetsRow_);
    styleSecondary(*targetCount_, 11);
    targetsRow_->addTrailing(targetCount_);
    column->addWidget(targetsRow_);
    connect(switch_, &QAbstractButton::clicked, this, [this](bool on) { manager_.isEnabled = on; });

    subscriptions_.push_back(manager_.isEnabled.observe([this](bool) { showState(); }));
    subscriptions_.push_back(manager_.targets.observe([this](const auto&) { showState(); }));
    showState();
}

void AutoFocusSection::showState() {
    switch_->setChecked(manager_.isEnabled.get());
    const auto targets = static_cast<std::int64_t>(manager_.targets.get().size());
    targetCount_->setText(uiFormat("%lld", {targets}));
    targetsRow_->setAccessibleDescription(uiFormat("%lld targets", {targets}));
}

AutoTriggerRow::AutoTriggerRow(app::AutoTriggerManager& manager, MainLoop& loop, std::function<void()> closePopover,
                               QWidget* parent)
    : ListWindowRow(rowTitle(new ElidedLabel(uiText("Auto-Trigger (Beast Mode)")), QFont::Medium),
                    std::make_unique<ListWindowSlot>(
                        loop, ListWindowSlot::Options{uiText("Auto-Trigger"), QSize(350, 450), false,
                                                      [&manager](std::function<void()> close) -> QWidget* {
                                                          return makeAutoTriggerView(manager, std::move(close));
                                                      }}),
                    std::move(closePopover), parent),
      manager_(manager) {
    setObjectName("autoTriggerRow");
    activeBadge_ = badge(this, accent::purple, new StatusDot(6, accent::purple), uiText("Active"), "beastActiveBadge");
    addLead(activeBadge_);
    on_ = new QLabel(uiText("On"), this);
    on_->setObjectName("autoTriggerOn");
    styleSecondary(*on_, 11);
    addTrailing(on_);
    subscriptions_.push_back(manager_.isBeastModeActive.observe([this](bool) { showState(); }));
    subscriptions_.push_back(manager_.isEnabled.observe([this](bool) { showState(); }));
    showState();
}

void AutoTriggerRow::showState() {
    const bool beast = manager_.isBeastModeActive.get();
    const bool on = manager_.isEnabled.get();
    activeBadge_->setVisible(beast);
    on_->setVisible(on);
    setTint(accent::purple, beast ? 0.10 : 0.05);
    setAccessibleDescription(beast ? uiText("Beast Mode active") : on ? uiText("On") : uiText("Off"));
}

JailManagerRow::JailManagerRow(app::ECoreJailManager& jail, app::AppManager& apps, app::AutoTriggerManager& beast, MainLoop& loop,
                 std::function<void()> closePopover, QWidget* parent)
    : ListWindowRow(rowTitle(new QLabel(uiText("E-Core Jail Manager")), QFont::Medium),
                    std::make_unique<ListWindowSlot>(
                        loop, ListWindowSlot::Options{uiText("E-Core Jail"), QSize(450, 400), true,
                                                      [&jail, &apps, &beast](std::function<void()>) -> QWidget* {
                                                          return makeJailView(jail, apps, beast);
                                                      }}),
                    std::move(closePopover), parent),
      jail_(jail) {
    setObjectName("jailRow");
    count_ = new QWidget(this);
    count_->setObjectName("jailCount");
    auto* countRow = new QHBoxLayout(count_);
    countRow->setContentsMargins(0, 0, 0, 0);
    countRow->setSpacing(4);
    countRow->addWidget(new StatusDot(6, accent::red, count_));
    countText_ = new QLabel(count_);
    styleSecondary(*countText_, 11);
    countRow->addWidget(countText_);
    addTrailing(count_);
    subscriptions_.push_back(jail_.isEnabled.observe([this](bool) { showState(); }));
    subscriptions_.push_back(jail_.jailedApps.observe([this](const auto&) { showState(); }));
    showState();
}

void JailManagerRow::showState() {
    const bool on = jail_.isEnabled.get();
    count_->setVisible(on);
    countText_->setText(uiFormat("%lld app", {static_cast<std::int64_t>(jail_.jailedApps->size())}));
    setTint(accent::red, on ? 0.10 : 0.05);
    setAccessibleDescription(on ? countText_->text() : uiText("Off"));
}

}  // namespace korvane::ui
