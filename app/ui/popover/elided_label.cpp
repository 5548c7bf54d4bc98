#include "app/ui/popover/elided_label.h"

#include <QEvent>

namespace korvane::ui {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(parent), full_(text) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    elide();
}

void ElidedLabel::setFullText(const QString& text) {
    full_ = text;
    updateGeometry();
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    // Room for a letter and the ellipsis; the rest may go.
    return {fontMetrics().horizontalAdvance(full_.left(1) + QChar(0x2026)), QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(full_) + 1, QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) elide();
}

void ElidedLabel::elide() {
    const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, width());
    if (shown != text()) setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

}  // namespace korvane::ui
