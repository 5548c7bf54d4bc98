#pragma once
// One kind of core (P or E) as a tinted card: its label, its mean usage and a
// bar per core.
#include <QColor>
#include <QWidget>
#include <cstdint>
#include <map>
#include <vector>

#include "app/monitors/core_usage.h"

class QHBoxLayout;
class QLabel;

namespace korvane::ui {

class CoreBarView;

class CoreGroupView : public QWidget {
    Q_OBJECT
public:
    CoreGroupView(const QString& label, const char* icon, QColor accentColor, QWidget* parent = nullptr);

    // One bar per entry, keyed by core id so a core keeps its bar (and its
    // animation) from one sample to the next.
    void setUsages(const std::vector<app::CoreUsage>& usages);

    QString averageText() const;
    std::vector<CoreBarView*> bars() const;

    // Mean usage × 100, truncated; 0 for no cores.
    static std::int64_t averagePercent(const std::vector<app::CoreUsage>& usages);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor accent_;
    QLabel* average_ = nullptr;
    QHBoxLayout* barRow_ = nullptr;
    std::vector<std::pair<std::int64_t, CoreBarView*>> bars_;
};

}  // namespace korvane::ui
