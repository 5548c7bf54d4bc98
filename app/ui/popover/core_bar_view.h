#pragma once
// One CPU core's usage as a small vertical bar over a faint track.
#include <QColor>
#include <QVariantAnimation>
#include <QWidget>
#include <cstdint>

namespace korvane::ui {

class CoreBarView : public QWidget {
    Q_OBJECT
public:
    CoreBarView(QColor accentColor, QWidget* parent = nullptr);

    // Moves the bar to `usage` (0.0 to 1.0) with an ease-out of 0.5 s.
    void setUsage(double usage);
    double usage() const { return usage_; }
    // The logical CPUs the bar stands for, which name it.
    void setCores(std::int64_t first, std::int64_t last);

    // The bar's height in a track `available` high: at least 1.
    static double barHeight(double available, double usage);
    // Full strength above 0.85, 70 % above 0.5, 40 % otherwise.
    static QColor barColor(const QColor& accentColor, double usage);

    QSize sizeHint() const override { return {8, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor accent_;
    double usage_ = 0.0;      // the target
    double displayed_ = 0.0;  // where the animation is
    QVariantAnimation animation_;
};

}  // namespace korvane::ui
