#pragma once
// One kind of core (P or E) as a tinted card: its label, its mean usage and a
// bar per core. The bars share a strip 32 points high: one row up to 32 bars,
// two rows up to 64; beyond 64 cores each bar stands for as many consecutive
// cores as it takes to stay within 64 bars, and shows their mean. So a bar
// stays a few pixels wide in the 300-point popover even with 256 cores.
#include <QColor>
#include <QWidget>
#include <cstdint>
#include <map>
#include <vector>

#include "app/monitors/core_usage.h"

class QLabel;

namespace korvane::ui {

class CoreBarView;

class CoreGroupView : public QWidget {
    Q_OBJECT
public:
    CoreGroupView(const QString& label, const char* icon, QColor accentColor, QWidget* parent = nullptr);

    static constexpr int kBarsPerRow = 32;
    static constexpr int kMostBars = 2 * kBarsPerRow;
    static constexpr int kStripHeight = 32;

    // One bar per entry (or per run of entries, see above), keyed by the
    // first core's id so a core keeps its bar (and its animation) from one
    // sample to the next.
    void setUsages(const std::vector<app::CoreUsage>& usages);

    // How many consecutive cores one bar stands for.
    static int coresPerBar(std::size_t cores);

    QString averageText() const;
    std::vector<CoreBarView*> bars() const;

    // Mean usage × 100, truncated; 0 for no cores.
    static std::int64_t averagePercent(const std::vector<app::CoreUsage>& usages);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Places the bars in the strip's rows.
    void layOutBars();

    QColor accent_;
    QLabel* average_ = nullptr;
    QWidget* strip_ = nullptr;
    std::vector<std::pair<std::int64_t, CoreBarView*>> bars_;
};

}  // namespace korvane::ui
