#include "app/ui/popover/theme.h"

#include <QFrame>
#include <QLabel>

namespace korvane::ui {

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QColor systemAccent(const QPalette& palette) { return palette.color(QPalette::Active, QPalette::Highlight); }

QColor secondaryText(const QPalette& palette) {
    QColor text = palette.color(QPalette::WindowText);
    // Placeholder text is often too faint to read on a popover; a softened
    // window text keeps the contrast in both light and dark palettes.
    return withOpacity(text, 0.6);
}

bool isDarkPalette(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

QFont uiFont(double pixelSize, QFont::Weight weight) {
    QFont font;
    font.setPixelSize(static_cast<int>(pixelSize + 0.5));
    font.setWeight(weight);
    return font;
}

void styleLabel(QLabel& label, double pixelSize, QFont::Weight weight, const QColor& color) {
    label.setFont(uiFont(pixelSize, weight));
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, color);
    label.setPalette(palette);
}

void styleSecondary(QLabel& label, double pixelSize, QFont::Weight weight) {
    styleLabel(label, pixelSize, weight, secondaryText(label.palette()));
}

QWidget* makeDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, withOpacity(palette.color(QPalette::WindowText), 0.15));
    line->setPalette(palette);
    return line;
}

}  // namespace korvane::ui
