#pragma once
// A full-width tappable row on a tinted rounded background, holding any
// layout of labels (the Auto-Trigger, jail and Auto-Focus targets rows).
#include <QAbstractButton>
#include <QColor>

class QHBoxLayout;

namespace korvane::ui {

class RowButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit RowButton(QWidget* parent = nullptr);

    QHBoxLayout* row() const { return row_; }
    void setTint(const QColor& tint, double opacity);
    QColor tint() const { return tint_; }
    double tintOpacity() const { return opacity_; }

    QSize sizeHint() const override;
    // Its full height, but only as wide as its labels allow when they give
    // up width (a row wider than the popover would push the rest off it).
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QHBoxLayout* row_;
    QColor tint_;
    double opacity_ = 0.05;
};

// A small indeterminate progress indicator: an arc that turns.
class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(int size, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int angle_ = 0;
    int timer_ = 0;
};

}  // namespace korvane::ui
