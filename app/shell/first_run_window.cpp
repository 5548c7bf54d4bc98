#include "app/shell/first_run_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/runtime/string_table.h"

namespace korvane::app {

FirstRunWindow::FirstRunWindow(const Style& style, QWidget* view) : closable_(style.closable) {
    Qt::WindowFlags flags = Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (style.closable) flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setWindowTitle(style.title);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (view) layout->addWidget(view);
    setFixedSize(style.contentSize);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void FirstRunWindow::closeForGood() {
    closingForGood_ = true;
    close();
}

void FirstRunWindow::closeEvent(QCloseEvent* event) {
    // A window manager may offer "close" even without the button.
    if (!closable_ && !closingForGood_) {
        event->ignore();
        return;
    }
    if (onWillClose) onWillClose();
    event->accept();
}

}  // namespace korvane::app
