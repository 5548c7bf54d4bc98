#include "app/shell/popover.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QEvent>
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
    // The content scrolls what does not fit itself (the main view scrolls its
    // body between a fixed header and footer); a scroll area here would put
    // one scroll bar inside another.
    if (content_) content_->deleteLater();
    content_ = content;
    if (content) layout()->addWidget(content);
}

void Popover::showAt(const QRect& anchor) {
    anchor_ = anchor;
    fit();
    show();
    raise();
    activateWindow();
}

void Popover::fit() {
    QScreen* screen = QGuiApplication::screenAt(anchor_.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    if (onWayland()) setMinimumHeight(0);
    setMaximumHeight(std::max(1, available.height() - kBottomMargin));
    const int wanted = content_ ? std::max(content_->sizeHint().height(), content_->minimumHeight()) : 1;
    const QSize size(kWidth, std::min(wanted, maximumHeight()));
    resize(size);
    // A fixed size keeps it floating on tiling compositors.
    if (onWayland()) setFixedHeight(size.height());
    move(popoverPosition(anchor_, size, available));
}

bool Popover::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate && onWayland()) hide();
    // The content changed what it wants (the helper came back and the main
    // view replaced a small card): follow it while open.
    if (event->type() == QEvent::LayoutRequest && isVisible()) {
        const bool handled = QWidget::event(event);
        fit();
        return handled;
    }
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
