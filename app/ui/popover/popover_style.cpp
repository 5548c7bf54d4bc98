#include "app/ui/popover/popover_style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/ui/popover/theme.h"
#include "app/ui/symbols/symbol_image.h"

namespace korvane::ui {
namespace {

QString rgba(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(QString::number(color.alphaF(), 'f', 3));
}

}  // namespace

void styleFilled(QPushButton& button, const QColor& ground) {
    button.setMinimumHeight(30);
    button.setCursor(Qt::PointingHandCursor);
    // The border is always there, so the focus mark only colours it and nothing moves.
    button.setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: 2px solid transparent;"
                                        " border-radius: 7px; padding: 4px 8px; font-weight: 600; }"
                                        "QPushButton:pressed { background: %2; }"
                                        "QPushButton:focus { border-color: %4; }"
                                        "QPushButton:disabled { background: %3; color: rgba(255,255,255,0.85); }")
                             .arg(rgba(ground), rgba(ground.darker(115)), rgba(withOpacity(accent::grey, 0.6)),
                                  rgba(ground.darker(160))));
}

void styleTinted(QPushButton& button, const QColor& color, int sidePadding) {
    button.setCursor(Qt::PointingHandCursor);
    button.setStyleSheet(QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid transparent;"
                                        " border-radius: 5px; padding: 2px %5px; }"
                                        "QPushButton:pressed { background: %3; }"
                                        "QPushButton:focus { border-color: %2; }"
                                        "QPushButton:disabled { color: %4; }")
                             .arg(rgba(withOpacity(color, 0.10)), rgba(color), rgba(withOpacity(color, 0.2)),
                                  rgba(withOpacity(color, 0.4)))
                             .arg(sidePadding));
}

QLabel* symbolLabel(QWidget* parent, const char* symbol, int size, const QColor& color) {
    auto* label = new QLabel(parent);
    label->setPixmap(symbolPixmap(symbol, size, parent->devicePixelRatioF(), color));
    label->setFixedSize(size, size);
    return label;
}

QLabel* errorLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    styleLabel(*label, 11, QFont::Normal, accent::red);
    label->hide();
    return label;
}

void showError(QLabel& label, const std::optional<std::string>& error) {
    label.setVisible(error.has_value());
    label.setText(QString::fromStdString(error.value_or("")));
}

QWidget* badge(QWidget* parent, const QColor& color, QWidget* lead, const QString& text, const char* name) {
    auto* box = new QWidget(parent);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral("#%1 { background: %2; border-radius: 7px; }")
                           .arg(name, rgba(withOpacity(color, 0.15))));
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(5, 1, 6, 1);
    row->setSpacing(3);
    lead->setParent(box);
    row->addWidget(lead);
    auto* label = new QLabel(text, box);
    styleLabel(*label, 10, QFont::DemiBold, color);
    row->addWidget(label);
    return box;
}

}  // namespace korvane::ui
