#include "app/ui/popover/list_window_slot.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace korvane::ui {

ListWindowSlot::ListWindowSlot(MainLoop& loop, Options options) : loop_(loop), options_(std::move(options)) {}

ListWindowSlot::~ListWindowSlot() { delete window_.data(); }

void ListWindowSlot::show(const std::function<void()>& closePopover) {
    if (window_ && window_->isVisible()) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    // A second press while the window is on its way must not make a second window.
    if (openTimer_.active()) return;
    if (closePopover) closePopover();
    openTimer_ = Timer::once(loop_, kOpenDelay, [this] { create(); });
}

void ListWindowSlot::create() {
    openTimer_ = {};
    // A window closed earlier is kept until now; the new one replaces it.
    if (window_) window_->deleteLater();
    auto* window = new QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(options_.title);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<QWidget> weak(window);
    layout->addWidget(options_.makeContent([weak] {
        if (weak) weak->close();
    }));
    if (options_.resizable) {
        window->resize(options_.contentSize);
    } else {
        window->setFixedSize(options_.contentSize);
    }
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), options_.contentSize);
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    // Escape and Ctrl+W close it, as they close the desktop's own small windows.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }
    window_ = window;
    window->show();
    window->raise();
    window->activateWindow();
    levelTimer_ = Timer::once(loop_, kFloatingTime, [this] {
        if (!window_) return;
        const bool wasVisible = window_->isVisible();
        window_->setWindowFlag(Qt::WindowStaysOnTopHint, false);
        if (wasVisible) window_->show();  // changing flags hides a window
    });
}

}  // namespace korvane::ui
