#include "app/ui/popover/focus_control_section.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/focus/app_manager.h"
#include "app/focus/release_all.h"
#include "app/runtime/task.h"
#include "app/ui/popover/popover_style.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

FocusControlSection::FocusControlSection(app::AppManager& apps, app::XPCManager& xpc, app::AutoTriggerManager& beast,
                                         MainLoop& loop, QWidget* parent)
    : QWidget(parent), apps_(apps) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    focusButton_ = new QPushButton(uiText("Focus Now"), this);
    focusButton_->setObjectName("focusNowButton");
    releaseButton_ = new QPushButton(uiText("Release Focus"), this);
    releaseButton_->setObjectName("releaseFocusButton");
    styleFilled(*releaseButton_, accent::orange);
    column->addWidget(focusButton_);
    column->addWidget(releaseButton_);
    connect(focusButton_, &QPushButton::clicked, this, [this, xpc = &xpc, loop = &loop] {
        if (!apps_.focusApp.get()) return;
        app::spawn(*loop, [apps = &apps_, xpc]() -> app::Async<> { co_await apps->activateFocusMode(*xpc); });
    });
    connect(releaseButton_, &QPushButton::clicked, this, [this, xpc = &xpc, beast = &beast, loop = &loop] {
        app::spawn(*loop, [apps = &apps_, xpc, beast]() -> app::Async<> {
            co_await app::releaseFocusAndBeastMode(*apps, *xpc, beast);
        });
    });
    subscriptions_.push_back(apps_.isFocusModeActive.observe([this](bool) { showState(); }));
    subscriptions_.push_back(apps_.focusApp.observe([this](const auto&) { showState(); }));
    showState();
}

void FocusControlSection::showState() {
    const bool focusOn = apps_.isFocusModeActive.get();
    const bool chosen = apps_.focusApp.get().has_value();
    releaseButton_->setVisible(focusOn);
    focusButton_->setVisible(!focusOn);
    focusButton_->setEnabled(chosen);
    styleFilled(*focusButton_, chosen ? systemAccent(palette()) : accent::grey);
}

}  // namespace korvane::ui
