#pragma once
// "Core Usage": which applications sit on the performance cores and which on
// the efficiency cores.
#include <QWidget>
#include <vector>

#include "app/runtime/subscription.h"

namespace korvane::app {
class AppManager;
}

namespace korvane::ui {

class FocusVisualizerView;

class CoreUsageSection : public QWidget {
    Q_OBJECT
public:
    explicit CoreUsageSection(app::AppManager& apps, QWidget* parent = nullptr);
    FocusVisualizerView* visualizer() const { return visualizer_; }

private:
    void showAllocation();

    app::AppManager& apps_;
    FocusVisualizerView* visualizer_;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace korvane::ui
