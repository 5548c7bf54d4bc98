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

namespace {

QWidget* placeholderView(const QString& heading, const QString& text, const QString& button,
                         std::function<void()> action) {
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    auto* title = new QLabel(heading);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    auto* body = new QLabel(text);
    body->setWordWrap(true);
    auto* go = new QPushButton(button);
    go->setDefault(true);
    QObject::connect(go, &QPushButton::clicked, view, [action = std::move(action)] { action(); });
    // Return presses the button, as in a dialog.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), view);
        QObject::connect(shortcut, &QShortcut::activated, go, &QPushButton::click);
    }
    layout->addWidget(title);
    layout->addWidget(body, 1);
    layout->addWidget(go, 0, Qt::AlignRight);
    return view;
}

}  // namespace

FirstRunViews FirstRunViews::placeholders() {
    return FirstRunViews{
        [](std::function<void()> accept) {
            return placeholderView(QString::fromStdString(localized("eula.subtitle")),
                                   QString::fromStdString(localized("eula.body")),
                                   QString::fromStdString(localized("eula.agree")), std::move(accept));
        },
        [](std::function<void()> complete) {
            return placeholderView(QString::fromStdString(localized("Korvane Setup")),
                                   QString::fromStdString(localized("onboarding.placeholder")),
                                   QString::fromStdString(localized("Continue")), std::move(complete));
        }};
}

}  // namespace korvane::app
