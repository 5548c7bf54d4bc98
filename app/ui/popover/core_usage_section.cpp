#include "app/ui/popover/core_usage_section.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/focus/app_manager.h"
#include "app/ui/popover/focus_visualizer_view.h"
#include "app/ui/popover/manager_bindings.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

CoreUsageSection::CoreUsageSection(app::AppManager& apps, QWidget* parent) : QWidget(parent), apps_(apps) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* title = new QLabel(uiText("Core Usage"), this);
    styleSecondary(*title, 11, QFont::Bold);
    column->addWidget(title);
    visualizer_ = new FocusVisualizerView(this);
    column->addWidget(visualizer_);
    subscriptions_.push_back(apps_.isFocusModeActive.observe([this](bool) { showAllocation(); }));
    subscriptions_.push_back(apps_.pCoreApps.observe([this](const auto&) { showAllocation(); }));
    subscriptions_.push_back(apps_.eCoreApps.observe([this](const auto&) { showAllocation(); }));
    showAllocation();
}

void CoreUsageSection::showAllocation() {
    visualizer_->setAllocation(appEntries(apps_.pCoreApps.get()), appEntries(apps_.eCoreApps.get()),
                               apps_.isFocusModeActive.get());
}

}  // namespace korvane::ui
