#include "app/ui/onboarding/onboarding_widgets.h"

#include <QAbstractButton>
#include <QPaintEvent>
#include <QPointer>
#include <QPainter>
#include <QPainterPath>

#include "app/runtime/string_table.h"
#include "app/ui/onboarding/onboarding_style.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {

namespace style {

void paintWindowBackground(QWidget* widget) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, kWindow);
    widget->setPalette(palette);
}

QLabel* text(const QString& content, int pixelSize, const QColor& colour, Weight weight,
             Qt::Alignment alignment) {
    auto* label = new QLabel(content);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight == Weight::Bold     ? QFont::Bold
                   : weight == Weight::Medium ? QFont::DemiBold
                                              : QFont::Normal);
    label->setFont(font);
    label->setWordWrap(true);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

}  // namespace style

namespace {

qreal ratioOf(QPainter& painter) {
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

}  // namespace

SymbolView::SymbolView(std::string symbol, int logicalSize, std::optional<QColor> tint,
                       QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), size_(logicalSize), tint_(tint) {
    // Decoration beside words that say the same: nothing for a screen reader.
    setFixedSize(size_, size_);
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, symbolPixmap(symbol_, size_, ratioOf(painter), tint_));
}

LogoView::LogoView(int logicalSize, QWidget* parent) : QWidget(parent), size_(logicalSize) {
    setFixedSize(size_, size_);
    setAccessibleName(QString::fromStdString(app::localized("app.name")));
}

void LogoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, appLogoPixmap(size_, ratioOf(painter)));
}

namespace {
constexpr int kDot = 7;
constexpr int kCurrentDot = 20;
constexpr int kDotGap = 7;
}  // namespace

StepDots::StepDots(int count, QWidget* parent) : QWidget(parent), count_(count) {
    setFixedSize(sizeHint());
    setObjectName(QStringLiteral("stepDots"));
    setAccessibleName(QString::fromStdString(app::localized("Setup progress")));
    setCurrent(0);
}

void StepDots::setCurrent(int current) {
    current_ = current;
    setAccessibleDescription(QString::fromStdString(
        app::StringTable::compiledIn().format("Step %lld of %lld", {std::int64_t{current + 1}, std::int64_t{count_}})));
    update();
}

QSize StepDots::sizeHint() const {
    int width = count_ > 0 ? (count_ - 1) * (kDot + kDotGap) + kCurrentDot : 0;
    return {width, kDot};
}

void StepDots::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    qreal x = 0;
    for (int page = 0; page < count_; ++page) {
        int width = page == current_ ? kCurrentDot : kDot;
        painter.setBrush(page <= current_ ? style::kAccent
                                          : style::withAlpha(style::kSecondaryText, 70));
        painter.drawRoundedRect(QRectF(x, 0, width, kDot), kDot / 2.0, kDot / 2.0);
        x += width + kDotGap;
    }
}

BusyIndicator::BusyIndicator(int logicalSize, QWidget* parent)
    : QWidget(parent), size_(logicalSize) {
    setFixedSize(size_, size_);
    timer_.setInterval(80);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        phase_ = (phase_ + 1) % 12;
        update();
    });
}

void BusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size_ / 2.0, size_ / 2.0);
    qreal outer = size_ / 2.0 - 1;
    for (int tick = 0; tick < 12; ++tick) {
        int age = (phase_ - tick + 12) % 12;
        QPen pen(style::withAlpha(style::kSecondaryText, 255 - age * 18),
                 std::max(1.5, size_ / 9.0));
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(0, -outer * 0.5), QPointF(0, -outer));
        painter.rotate(30);
    }
}

void BusyIndicator::showEvent(QShowEvent*) {
    timer_.start();
}
void BusyIndicator::hideEvent(QHideEvent*) {
    timer_.stop();
}

namespace {

struct RoleLook {
    QColor background;
    QColor pressed;
    QColor text;
    int pixelSize;
};

RoleLook lookOf(ButtonRole role) {
    switch (role) {
        case ButtonRole::Primary:
            return {style::kAccent, style::kAccent.darker(120), Qt::white, 13};
        case ButtonRole::Success:
            return {style::kGreen, style::kGreen.darker(120), Qt::white, 13};
        case ButtonRole::Secondary:
            return {QColor(0xe5, 0xe5, 0xea), QColor(0xd1, 0xd1, 0xd6), style::kPrimaryText, 13};
        case ButtonRole::Link:
            return {Qt::transparent, style::withAlpha(style::kAccent, 30), style::kAccent, 12};
    }
    return {};
}

}  // namespace

void restyleButton(QPushButton* button, const QString& text, ButtonRole role,
                   const std::string& symbol, bool symbolAfterText) {
    RoleLook look = lookOf(role);
    button->setText(text);
    // The gap between symbol and text is part of the icon: a button lays the two out edge to edge.
    constexpr int kGap = 5;
    QIcon icon;
    if (!symbol.empty()) {
        for (qreal ratio : {1.0, 2.0}) {
            QPixmap padded(QSize(look.pixelSize + kGap, look.pixelSize) * ratio);
            padded.setDevicePixelRatio(ratio);
            padded.fill(Qt::transparent);
            QPainter painter(&padded);
            painter.drawPixmap(symbolAfterText ? kGap : 0, 0,
                               symbolPixmap(symbol, look.pixelSize, ratio, look.text));
            painter.end();
            icon.addPixmap(padded);
        }
    }
    button->setIcon(icon);
    button->setIconSize(QSize(look.pixelSize + kGap, look.pixelSize));
    button->setLayoutDirection(symbolAfterText ? Qt::RightToLeft : Qt::LeftToRight);
    QString padding =
        role == ButtonRole::Link ? QStringLiteral("3px 8px") : QStringLiteral("6px 16px");
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: none; border-radius: 7px;"
                       " padding: %3; font-size: %4px; font-weight: %5; }"
                       " QPushButton:pressed { background: %6; }")
            .arg(style::css(look.background), style::css(look.text), padding)
            .arg(look.pixelSize)
            .arg(role == ButtonRole::Link ? 400 : 600)
            .arg(style::css(look.pressed)));
}

QPushButton* makeButton(const QString& text, ButtonRole role, const std::string& symbol,
                        bool symbolAfterText) {
    auto* button = new QPushButton;
    button->setCursor(Qt::PointingHandCursor);
    // A click leaves the focus where it was (on the page's primary button),
    // so Enter after a click on Copy or Back still goes on; Tab still reaches it.
    button->setFocusPolicy(Qt::TabFocus);
    restyleButton(button, text, role, symbol, symbolAfterText);
    return button;
}

namespace {

bool isPlainEnter(const QKeyEvent& event) {
    return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) &&
           !(event.modifiers() & ~Qt::KeypadModifier);
}

// The keyboard's Enter across the first-run windows: the view that saw it go
// down, and when it last came up (the X server's milliseconds; never 0).
struct EnterState {
    QPointer<QWidget> pressedIn;
    quint64 lastRelease = 0;
};
EnterState enterState;

// What Enter presses in `view` now. A button with the focus ignores Enter
// outside a dialog, so the event comes to the view.
QAbstractButton* enterTarget(QWidget& view, QPushButton* primary) {
    auto* focused = qobject_cast<QAbstractButton*>(view.focusWidget());
    QAbstractButton* target = focused && view.isAncestorOf(focused) && focused->isVisibleTo(&view) ? focused : primary;
    return target && target->isVisibleTo(&view) && target->isEnabled() ? target : nullptr;
}

}  // namespace

bool enterPressed(QKeyEvent& event, QWidget& view, QPushButton* primary) {
    if (!isPlainEnter(event) || !enterTarget(view, primary)) return false;
    // A repeat the toolkit did not mark comes at the moment of a release.
    const bool repeat = event.isAutoRepeat() || (event.timestamp() != 0 && event.timestamp() == enterState.lastRelease);
    if (!repeat) enterState.pressedIn = &view;
    event.accept();
    return true;
}

bool enterReleased(QKeyEvent& event, QWidget& view, QPushButton* primary) {
    if (!isPlainEnter(event)) return false;
    enterState.lastRelease = event.timestamp();
    if (event.isAutoRepeat() || enterState.pressedIn != &view) return false;
    enterState.pressedIn = nullptr;
    event.accept();
    if (QAbstractButton* target = enterTarget(view, primary)) target->click();
    return true;
}

}  // namespace korvane::ui
