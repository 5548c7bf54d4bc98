#include "app/ui/onboarding/first_run_windows.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "app/runtime/string_table.h"

namespace korvane::ui {

namespace {

void hostView(QWidget* window, QWidget* view, QSize size, const char* titleKey) {
    window->setWindowTitle(QString::fromStdString(app::localized(titleKey)));
    window->setFixedSize(size);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
}

void centreAndShow(QWidget* window) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    window->show();
    window->raise();
}

}  // namespace

AgreementWindow::AgreementWindow(AgreementSetting hasAcceptedEULA, std::function<void()> onAccept,
                                 std::function<void()> onQuit)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint),
      setting_(hasAcceptedEULA),
      onQuit_(onQuit),
      view_(new EULAView(std::move(hasAcceptedEULA), std::move(onAccept), std::move(onQuit))) {
    setObjectName(QStringLiteral("agreementWindow"));
    hostView(this, view_, kSize, "Korvane");
}

void AgreementWindow::present() {
    centreAndShow(this);
}

void AgreementWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!(setting_.read && setting_.read()) && onQuit_) onQuit_();
}

void AgreementWindow::keyPressEvent(QKeyEvent* event) {
    if (!enterPressed(*event, *view_, view_->primaryButton())) QWidget::keyPressEvent(event);
}

void AgreementWindow::keyReleaseEvent(QKeyEvent* event) {
    if (!enterReleased(*event, *view_, view_->primaryButton())) QWidget::keyReleaseEvent(event);
}

SetupWindow::SetupWindow(std::function<void()> onComplete, OnboardingDependencies dependencies,
                         std::function<void()> onCloseRequest)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowStaysOnTopHint),
      onCloseRequest_(std::move(onCloseRequest)),
      view_(new OnboardingView(std::move(onComplete), std::move(dependencies))) {
    setObjectName(QStringLiteral("setupWindow"));
    hostView(this, view_, kSize, "Korvane Setup");
}

void SetupWindow::present() {
    centreAndShow(this);
    activateWindow();
}

void SetupWindow::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    event->ignore();
    if (onCloseRequest_) onCloseRequest_();
}

void SetupWindow::keyPressEvent(QKeyEvent* event) {
    if (!enterPressed(*event, *view_, view_->primaryButton())) QWidget::keyPressEvent(event);
}

void SetupWindow::keyReleaseEvent(QKeyEvent* event) {
    if (!enterReleased(*event, *view_, view_->primaryButton())) QWidget::keyReleaseEvent(event);
}

}  // namespace korvane::ui
