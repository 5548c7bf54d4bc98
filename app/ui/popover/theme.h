#pragma once
// The popover's accent colours and type sizes. Backgrounds and text follow the
// desktop's palette (light or dark); these colours only mark meaning: a tint,
// a dot, a badge.
#include <QColor>
#include <QFont>
#include <QPalette>

class QLabel;
class QWidget;

namespace korvane::ui {

namespace accent {
inline const QColor orange{0xFF, 0x95, 0x00};
inline const QColor green{0x34, 0xC7, 0x59};
inline const QColor cyan{0x32, 0xAD, 0xE6};
inline const QColor purple{0xAF, 0x52, 0xDE};
inline const QColor red{0xFF, 0x3B, 0x30};
inline const QColor yellow{0xFF, 0xCC, 0x00};
inline const QColor grey{0x8E, 0x8E, 0x93};
}  // namespace accent

// `color` with its alpha replaced by `opacity` (0.0 to 1.0).
QColor withOpacity(QColor color, double opacity);

// The desktop's accent (selection) colour.
QColor systemAccent(const QPalette& palette);
// Text that matters less: the palette's placeholder text colour.
QColor secondaryText(const QPalette& palette);
bool isDarkPalette(const QPalette& palette);

// The application's font at `pixelSize` logical pixels: the sizes of the
// design are given in points of a 1x screen, which are logical pixels here.
QFont uiFont(double pixelSize, QFont::Weight weight = QFont::Normal);

// Label helpers: text colour and font, set once.
void styleLabel(QLabel& label, double pixelSize, QFont::Weight weight, const QColor& color);
void styleSecondary(QLabel& label, double pixelSize, QFont::Weight weight = QFont::Normal);

// A thin horizontal rule in the palette's mid colour.
QWidget* makeDivider(QWidget* parent = nullptr);

}  // namespace korvane::ui
