#include "app/ui/onboarding/eula_view.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "app/runtime/settings_store.h"
#include "app/runtime/string_table.h"
#include "app/ui/onboarding/onboarding_style.h"
#include "app/ui/onboarding/onboarding_widgets.h"

namespace korvane::ui {

AgreementSetting AgreementSetting::inSettings(app::SettingsStore& settings) {
    return {[&settings] { return settings.boolValue(kKey); },
            [&settings](bool value) { settings.setBool(kKey, value); }};
}

EULAView::EULAView(AgreementSetting hasAcceptedEULA, std::function<void()> onAccept,
                   std::function<void()> onQuit, QWidget* parent)
    : QWidget(parent),
      setting_(std::move(hasAcceptedEULA)),
      onAccept_(std::move(onAccept)),
      onQuit_(std::move(onQuit)) {
    auto text = [](const char* key) { return QString::fromStdString(app::localized(key)); };
    setObjectName(QStringLiteral("eulaView"));
    style::paintWindowBackground(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->setSpacing(6);

    auto* logo = new LogoView(52);
    layout->addWidget(logo, 0, Qt::AlignHCenter);
    layout->addWidget(style::text(text("Korvane"), 22, style::kPrimaryText, style::Weight::Bold,
                                  Qt::AlignCenter));
    layout->addWidget(style::text(text("eula.subtitle"), 12, style::kSecondaryText,
                                  style::Weight::Regular, Qt::AlignCenter));
    layout->addSpacing(4);

    auto* body = style::text(text("eula.body"), 11, style::kPrimaryText);
    body->setObjectName(QStringLiteral("eulaBody"));
    body->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse);
    body->setContentsMargins(12, 10, 12, 10);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("eulaScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setStyleSheet(
        QStringLiteral("QScrollArea#eulaScroll { background: white; border: 1px solid %1;"
                       " border-radius: 8px; } QLabel#eulaBody { background: white; }")
            .arg(style::css(QColor(0xe0, 0xe0, 0xe5))) +
        style::thinScrollBars());
    scroll->setWidget(body);
    layout->addWidget(scroll, 1);
    layout->addWidget(style::text(text("eula.license"), 10, style::kSecondaryText, style::Weight::Regular, Qt::AlignCenter));
    layout->addSpacing(6);

    auto* buttons = new QHBoxLayout;
    QPushButton* quit = makeButton(text("button.quit"), ButtonRole::Secondary);
    quit->setObjectName(QStringLiteral("quitButton"));
    connect(quit, &QPushButton::clicked, this, [this] {
        if (onQuit_) onQuit_();
    });
    QPushButton* agree = agree_ =
        makeButton(text("eula.agree"), ButtonRole::Primary, "checkmark.shield.fill");
    agree->setObjectName(QStringLiteral("agreeButton"));
    connect(agree, &QPushButton::clicked, this, [this] {
        if (setting_.write) setting_.write(true);
        // After the click has finished: the host closes, and may delete, this window in onAccept.
        // The call runs on a copy, whose captures outlive the view.
        if (onAccept_) QTimer::singleShot(0, this, [callback = onAccept_] { callback(); });
    });
    buttons->addWidget(quit);
    buttons->addStretch(1);
    buttons->addWidget(agree);
    layout->addLayout(buttons);
}

void EULAView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Hosting the view in its window took the focus away; the window gives it
    // back here when it is activated.
    agree_->setFocus(Qt::OtherFocusReason);
}

void EULAView::keyPressEvent(QKeyEvent* event) {
    if (!enterPressed(*event, *this, agree_)) QWidget::keyPressEvent(event);
}

void EULAView::keyReleaseEvent(QKeyEvent* event) {
    if (!enterReleased(*event, *this, agree_)) QWidget::keyReleaseEvent(event);
}

}  // namespace korvane::ui
