#include "app/ui/popover/toggle_switch.h"

#include <QPainter>

#include "app/ui/popover/accessible_controls.h"
#include "app/ui/popover/theme.h"

namespace korvane::ui {

ToggleSwitch::ToggleSwitch(QWidget* parent, bool small) : QAbstractButton(parent), small_(small) {
    installAccessibleControls();
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const { return small_ ? QSize(28, 16) : QSize(36, 20); }

void ToggleSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = track.height() / 2;
    QColor on = systemAccent(palette());
    QColor off = withOpacity(palette().color(QPalette::WindowText), 0.2);
    if (!isEnabled()) {
        on = withOpacity(on, 0.4);
        off = withOpacity(off, 0.1);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? on : off);
    painter.drawRoundedRect(track, radius, radius);
    const double knob = track.height() - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.setPen(QPen(withOpacity(Qt::black, 0.15), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
    if (hasFocus()) {
        // On an accent track an accent ring would vanish: the text colour shows on both.
        painter.setPen(QPen(isChecked() ? withOpacity(palette().color(QPalette::WindowText), 0.6) : withOpacity(on, 0.8),
                            1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track, radius, radius);
    }
}

}  // namespace korvane::ui
