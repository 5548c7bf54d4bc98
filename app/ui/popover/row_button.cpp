#include "app/ui/popover/row_button.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTimerEvent>

#include "app/ui/popover/theme.h"

namespace korvane::ui {

RowButton::RowButton(QWidget* parent) : QAbstractButton(parent), row_(new QHBoxLayout(this)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);  // a click opens; only Tab brings the focus mark
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row_->setContentsMargins(10, 8, 10, 8);
    row_->setSpacing(6);
}

void RowButton::setTint(const QColor& tint, double opacity) {
    tint_ = tint;
    opacity_ = opacity;
    update();
}

QSize RowButton::sizeHint() const { return row_->sizeHint(); }

QSize RowButton::minimumSizeHint() const { return {row_->minimumSize().width(), sizeHint().height()}; }

void RowButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(tint_, isDown() ? std::min(1.0, opacity_ + 0.08) : opacity_));
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
    if (hasFocus()) {
        painter.setPen(QPen(withOpacity(systemAccent(palette()), 0.6), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 9, 9);
    }
}

Spinner::Spinner(int size, QWidget* parent) : QWidget(parent) { setFixedSize(size, size); }

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pen = std::max(1.5, width() / 7.0);
    const QRectF box = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    painter.setPen(QPen(withOpacity(palette().color(QPalette::ButtonText), 0.2), pen));
    painter.drawEllipse(box);
    painter.setPen(QPen(palette().color(QPalette::ButtonText), pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(box, -angle_ * 16, 100 * 16);
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_) return;
    angle_ = (angle_ + 30) % 360;
    update();
}

void Spinner::showEvent(QShowEvent*) {
    if (!timer_) timer_ = startTimer(80);
}

void Spinner::hideEvent(QHideEvent*) {
    if (timer_) killTimer(timer_);
    timer_ = 0;
}

}  // namespace korvane::ui
