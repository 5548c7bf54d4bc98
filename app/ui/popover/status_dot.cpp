#include "app/ui/popover/status_dot.h"

#include <QPainter>

namespace korvane::ui {

StatusDot::StatusDot(int diameter, QColor color, QWidget* parent) : QWidget(parent), color_(color) {
    setFixedSize(diameter, diameter);
}

void StatusDot::setColor(const QColor& color) {
    if (color_ == color) return;
    color_ = color;
    update();
}

void StatusDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(QRectF(rect()));
}

}  // namespace korvane::ui
