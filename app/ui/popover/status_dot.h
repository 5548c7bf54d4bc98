#pragma once
// A filled circle of a given diameter, for the state dots of the popover.
#include <QColor>
#include <QWidget>

namespace korvane::ui {

class StatusDot : public QWidget {
    Q_OBJECT
public:
    StatusDot(int diameter, QColor color, QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

}  // namespace korvane::ui
