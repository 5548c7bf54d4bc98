#include "app/ui/onboarding/onboarding_rows.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/ui/onboarding/onboarding_style.h"
#include "app/ui/onboarding/onboarding_widgets.h"

namespace korvane::ui::rows {

namespace {

using style::Weight;

// A frame with a rounded, tinted background. Its own object name keeps the
// style sheet from reaching the labels inside.
QFrame* tintedFrame(const QColor& background, const QColor& border, int radius) {
    static int serial = 0;
    auto* frame = new QFrame;
    QString name = QStringLiteral("tinted%1").arg(++serial);
    frame->setObjectName(name);
    frame->setStyleSheet(
        QStringLiteral("QFrame#%1 { background: %2; border: 1px solid %3; border-radius: %4px; }")
            .arg(name, style::css(background), style::css(border))
            .arg(radius));
    return frame;
}

QWidget* disc(const std::string& symbol, const QColor& colour, int diameter, int symbolSize,
              int radius) {
    QFrame* frame = tintedFrame(style::withAlpha(colour, 38), Qt::transparent, radius);
    frame->setFixedSize(diameter, diameter);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SymbolView(symbol, symbolSize, colour), 0, Qt::AlignCenter);
    return frame;
}

}  // namespace

QWidget* pageHeader(const std::string& symbol, const QColor& symbolColour, const QString& title,
                    const QString& subtitle) {
    auto* header = new QWidget;
    auto* layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (!symbol.empty()) {
        layout->addWidget(new SymbolView(symbol, 34, symbolColour), 0, Qt::AlignHCenter);
        layout->addSpacing(4);
    }
    layout->addWidget(style::text(title, 22, style::kPrimaryText, Weight::Bold, Qt::AlignCenter));
    if (!subtitle.isEmpty()) {
        layout->addWidget(
            style::text(subtitle, 13, style::kSecondaryText, Weight::Regular, Qt::AlignCenter));
    }
    return header;
}

QWidget* infoChip(const std::string& symbol, const QString& text) {
    QFrame* chip = tintedFrame(QColor(0xe9, 0xe9, 0xee), Qt::transparent, 12);
    auto* layout = new QHBoxLayout(chip);
    layout->setContentsMargins(10, 5, 11, 5);
    layout->setSpacing(6);
    layout->addWidget(new SymbolView(symbol, 13, style::kSecondaryText));
    QLabel* label = style::text(text, 11, style::kPrimaryText, Weight::Medium);
    label->setWordWrap(false);
    // A long vendor and model name must not push the other chips out of the window.
    constexpr int kWidest = 210;
    QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, kWidest);
    if (shown != text) {
        label->setText(shown);
        chip->setToolTip(text);
    }
    layout->addWidget(label);
    return chip;
}

QWidget* coreCard(const std::string& symbol, const QString& title, const QString& shortName,
                  const QColor& colour, const QStringList& points) {
    QFrame* card = tintedFrame(style::withAlpha(colour, 20), style::withAlpha(colour, 90), 10);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(12, 10, 12, 12);
    layout->setSpacing(5);
    auto* head = new QHBoxLayout;
    head->setSpacing(6);
    head->addWidget(new SymbolView(symbol, 18, colour));
    auto* names = new QVBoxLayout;
    names->setSpacing(0);
    names->addWidget(style::text(title, 13, style::kPrimaryText, Weight::Bold));
    names->addWidget(style::text(shortName, 11, colour, Weight::Medium));
    head->addLayout(names, 1);
    layout->addLayout(head);
    layout->addSpacing(2);
    for (const QString& point : points) {
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addWidget(new SymbolView("checkmark", 10, colour), 0, Qt::AlignVCenter);
        row->addWidget(style::text(point, 11, style::kPrimaryText), 1);
        layout->addLayout(row);
    }
    layout->addStretch(1);
    return card;
}

QWidget* flowStep(const std::string& symbol, const QString& text, const QColor& colour) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(disc(symbol, colour, 28, 16, 14));
    layout->addWidget(style::text(text, 12, style::kPrimaryText, Weight::Medium), 1);
    return row;
}

QWidget* flowConnector() {
    auto* holder = new QWidget;
    holder->setFixedHeight(8);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(13, 0, 0, 0);
    auto* line = new QFrame;
    line->setFixedSize(2, 8);
    line->setStyleSheet(QStringLiteral("background: %1;").arg(style::css(style::kFaded)));
    layout->addWidget(line);
    layout->addStretch(1);
    return holder;
}

QWidget* modeCard(const std::string& symbol, const QString& title, const QString& aside,
                  const QColor& colour, const QString& description, const QString& example) {
    QFrame* card = tintedFrame(style::withAlpha(colour, 20), style::withAlpha(colour, 90), 10);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(5);
    auto* head = new QHBoxLayout;
    head->setSpacing(7);
    head->addWidget(new SymbolView(symbol, 17, colour));
    head->addWidget(style::text(title, 13, style::kPrimaryText, Weight::Bold));
    if (!aside.isEmpty()) head->addWidget(style::text(aside, 11, style::kSecondaryText));
    head->addStretch(1);
    layout->addLayout(head);
    layout->addWidget(style::text(description, 11, style::kPrimaryText));
    layout->addWidget(style::text(example, 11, colour, Weight::Medium));
    return card;
}

QWidget* featureRow(const std::string& symbol, const QString& title, const QString& description,
                    const QColor& colour) {
    QFrame* row = tintedFrame(style::kCard, QColor(0xe5, 0xe5, 0xea), 10);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(12);
    layout->addWidget(disc(symbol, colour, 36, 19, 9));
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    words->addWidget(style::text(title, 13, style::kPrimaryText, Weight::Bold));
    words->addWidget(style::text(description, 11, style::kSecondaryText));
    layout->addLayout(words, 1);
    return row;
}

QWidget* archRow(const std::string& symbol, const QString& title, const QString& description,
                 const QColor& colour) {
    QFrame* row = tintedFrame(style::withAlpha(colour, 20), style::withAlpha(colour, 90), 9);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(10);
    layout->addWidget(new SymbolView(symbol, 18, colour));
    auto* words = new QVBoxLayout;
    words->setSpacing(0);
    words->addWidget(style::text(title, 12, style::kPrimaryText, Weight::Bold));
    words->addWidget(style::text(description, 11, style::kSecondaryText));
    layout->addLayout(words, 1);
    return row;
}

QWidget* archConnector(const QString& label) {
    auto* holder = new QWidget;
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->setSpacing(6);
    layout->addStretch(1);
    layout->addWidget(new SymbolView("arrow.down.circle", 11, style::kSecondaryText));
    QLabel* text = style::text(label, 10, style::kSecondaryText, Weight::Medium);
    text->setWordWrap(false);
    layout->addWidget(text);
    layout->addStretch(1);
    return holder;
}

QWidget* keyPoint(const std::string& symbol, const QString& text) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(new SymbolView(symbol, 13, style::kGreen));
    layout->addWidget(style::text(text, 11, style::kPrimaryText), 1);
    return row;
}

QWidget* tipView(const std::string& symbol, const QString& text) {
    QFrame* tip = tintedFrame(style::kCard, QColor(0xe5, 0xe5, 0xea), 10);
    auto* layout = new QVBoxLayout(tip);
    layout->setContentsMargins(8, 10, 8, 10);
    layout->setSpacing(6);
    layout->addWidget(new SymbolView(symbol, 22, style::kAccent), 0, Qt::AlignHCenter);
    layout->addWidget(
        style::text(text, 11, style::kSecondaryText, Weight::Regular, Qt::AlignCenter));
    return tip;
}

QWidget* noteBox(const std::string& symbol, const QColor& colour, const QString& title,
                 const QString& text) {
    QFrame* box = tintedFrame(style::withAlpha(colour, 24), style::withAlpha(colour, 80), 9);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(10);
    layout->addWidget(new SymbolView(symbol, 18, colour), 0, Qt::AlignTop);
    auto* words = new QVBoxLayout;
    words->setSpacing(2);
    if (!title.isEmpty())
        words->addWidget(style::text(title, 12, style::kPrimaryText, Weight::Bold));
    words->addWidget(style::text(text, 11, style::kPrimaryText));
    layout->addLayout(words, 1);
    return box;
}

}  // namespace korvane::ui::rows
