#pragma once
// Colours and text styles of the first-run windows.
#include <QColor>
#include <QLabel>
#include <QString>

namespace korvane::ui::style {

inline const QColor kAccent{0x00, 0x7a, 0xff};
inline const QColor kBlue{0x00, 0x7a, 0xff};
inline const QColor kOrange{0xff, 0x95, 0x00};
inline const QColor kCyan{0x32, 0xad, 0xe6};
inline const QColor kGreen{0x34, 0xc7, 0x59};
inline const QColor kPurple{0xaf, 0x52, 0xde};
inline const QColor kRed{0xff, 0x3b, 0x30};
inline const QColor kYellow{0xff, 0xcc, 0x00};
inline const QColor kPrimaryText{0x1d, 0x1d, 0x1f};
inline const QColor kSecondaryText{0x6e, 0x6e, 0x73};
inline const QColor kWindow{0xf5, 0xf5, 0xf7};
inline const QColor kCard{0xff, 0xff, 0xff};
inline const QColor kFaded{0xc7, 0xc7, 0xcc};

// `colour` at `alpha` (0-255), for tinted card backgrounds and borders.
inline QColor withAlpha(QColor colour, int alpha) {
    colour.setAlpha(alpha);
    return colour;
}

// "rgba(r, g, b, a)" for style sheets.
inline QString css(const QColor& colour) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

// A style sheet for a scrolling area's bars: thin, without arrows.
inline QString thinScrollBars() {
    return QStringLiteral(
        " QScrollBar:vertical { background: transparent; width: 8px; margin: 3px 1px 3px 0; }"
        " QScrollBar::handle:vertical { background: rgba(0, 0, 0, 70); border-radius: 3px; "
        "min-height: 24px; }"
        " QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        " QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; "
        "}");
}

// Fills `widget` with the window background of the first-run windows.
void paintWindowBackground(QWidget* widget);

enum class Weight { Regular, Medium, Bold };

// A label in the window's font at `pixelSize`, word-wrapped.
QLabel* text(const QString& content, int pixelSize, const QColor& colour = kPrimaryText,
             Weight weight = Weight::Regular,
             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

}  // namespace korvane::ui::style
