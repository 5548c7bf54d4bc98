#include "app/shell/popover.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

namespace korvane::app {

QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available) {
    int y = anchor.bottom() + 1;
    if (y + size.height() - 1 > available.bottom()) y = anchor.top() - size.height();
    y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - size.height()));
    // Centred under the icon, then kept on the work area.
    int x = anchor.center().x() - size.width() / 2;
    x = std::clamp(x, available.left(), std::max(available.left(), available.right() + 1 - size.width()));
    return {x, y};
}

namespace {

// A Wayland popup needs a parent surface, which a tray item does not give:
// there the popover is a small window of its own, placed by the compositor
// and closed when it loses the focus.
bool onWayland() { return QGuiApplication::platformName().startsWith(QStringLiteral("wayland")); }

}  // namespace

Popover::Popover() : QWidget(nullptr, onWayland() ? Qt::Window : Qt::Popup | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("KorvanePopover"));
    setWindowTitle(QStringLiteral("Korvane"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setFixedWidth(kWidth);
}

void Popover::setContent(QWidget* content) {
    if (!scroll_) {
        // Content taller than the screen allows scrolls instead of running off it.
        scroll_ = new QScrollArea(this);
        scroll_->setWidgetResizable(true);
        scroll_->setFrameShape(QFrame::NoFrame);
        scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        layout()->addWidget(scroll_);
    }
    if (content_) content_->deleteLater();
    content_ = content;
    if (content) scroll_->setWidget(content);
}

void Popover::showAt(const QRect& anchor) {
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    setMaximumHeight(std::max(1, available.height() - kBottomMargin));
    const int wanted = content_ ? std::max(content_->sizeHint().height(), content_->minimumHeight()) : 1;
    const QSize size(kWidth, std::min(wanted, maximumHeight()));
    resize(size);
    // A fixed size keeps it floating on tiling compositors.
    if (onWayland()) setFixedHeight(size.height());
    move(popoverPosition(anchor, size, available));
    show();
    raise();
    activateWindow();
}

bool Popover::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate && onWayland()) hide();
    return QWidget::event(event);
}

bool Popover::closedByThisClick() const { return sinceHidden_.isValid() && sinceHidden_.elapsed() < 250; }

void Popover::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Q_EMIT shownChanged(true);
}

void Popover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    sinceHidden_.start();
    Q_EMIT shownChanged(false);
}

}  // namespace korvane::app
