#include "app/ui/popover/app_row.h"

#include <QPainter>
#include <algorithm>

#include "app/ui/symbols/symbol_image.h"
#include "app/ui/popover/theme.h"
#include "app/ui/popover/ui_text.h"

namespace korvane::ui {

AppRow::AppRow(AppEntry app, bool isSelected, bool isThrottled, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent),
      app_(std::move(app)),
      isSelected_(isSelected),
      isThrottled_(isThrottled),
      action_(std::move(action)) {
    setObjectName("appRow");
    setAttribute(Qt::WA_Hover);  // repaint on entering and leaving, for the hover ground
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);  // a click chooses; only Tab brings the focus mark
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFont(uiFont(12));
    setAccessibleName(app_.name);
    updateDescription();
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (action_) action_();
    });
}

void AppRow::setMarks(bool isSelected, bool isThrottled) {
    if (isSelected == isSelected_ && isThrottled == isThrottled_) return;
    isSelected_ = isSelected;
    isThrottled_ = isThrottled;
    updateDescription();
    updateToolTip();
    update();
}

void AppRow::setApp(AppEntry app) {
    app_ = std::move(app);
    setAccessibleName(app_.name);
    updateToolTip();
    update();
}

void AppRow::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    updateToolTip();
}

QRect AppRow::nameBox() const {
    const int marks = (isThrottled_ ? 20 : 0) + (isSelected_ ? 20 : 0);
    const int left = 8 + 17 + 9;  // the icon's right edge, then a gap
    return {left, 0, std::max(0, width() - 8 - marks - left - 4), height()};
}

void AppRow::updateDescription() {
    QStringList marks;
    if (isSelected_) marks << uiText("Chosen for focus");
    if (isThrottled_) marks << uiText("Throttled to the efficiency cores");
    setAccessibleDescription(marks.join(QStringLiteral(", ")));
}

void AppRow::updateToolTip() {
    const bool cut = fontMetrics().horizontalAdvance(app_.name) > nameBox().width();
    setToolTip(cut ? app_.name : QString());
}

QSize AppRow::sizeHint() const { return {260, 28}; }

void AppRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor accentColor = systemAccent(palette());
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(Qt::NoPen);
    if (isSelected_) {
        painter.setBrush(withOpacity(accentColor, 0.10));
        painter.drawRoundedRect(box, 6, 6);
    } else if (underMouse()) {
        painter.setBrush(withOpacity(palette().color(QPalette::WindowText), 0.05));
        painter.drawRoundedRect(box, 6, 6);
    }

    const qreal dpr = devicePixelRatioF();
    const int middle = height() / 2;
    const QRect iconBox(8, middle - 9, 18, 18);
    if (!app_.icon.isNull()) {
        app_.icon.paint(&painter, iconBox);
    } else {
        painter.drawPixmap(iconBox, symbolPixmap("app.fill", 18, dpr, secondaryText(palette())));
    }

    int right = width() - 8;
    auto drawMark = [&](const char* symbol, const QColor& color) {
        const QRect markBox(right - 14, middle - 7, 14, 14);
        painter.drawPixmap(markBox, symbolPixmap(symbol, 14, dpr, color));
        right -= 14 + 6;
    };
    if (isThrottled_) drawMark("bolt.slash.fill", accent::orange);
    if (isSelected_) drawMark("checkmark.circle.fill", accentColor);

    if (hasFocus()) {
        painter.setPen(QPen(withOpacity(accentColor, 0.8), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(0.75, 0.75, -0.75, -0.75), 6, 6);
    }

    const QRect textBox = nameBox();
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(textBox, Qt::AlignVCenter | Qt::AlignLeft,
                     fontMetrics().elidedText(app_.name, Qt::ElideRight, textBox.width()));
}

}  // namespace korvane::ui
