#pragma once
// The popover's own control styles and small composite widgets, shared by
// its sections.
#include <QColor>
#include <QString>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace korvane::ui {

// A full-width button on a coloured ground (Focus Now, Release Focus, Install).
void styleFilled(QPushButton& button, const QColor& ground);
// A small button in a colour of its own, on a faint ground of it (Remove Daemon, Quit, Retry).
void styleTinted(QPushButton& button, const QColor& color, int sidePadding = 7);

QLabel* symbolLabel(QWidget* parent, const char* symbol, int size, const QColor& color);
// A red, centred, word-wrapped label, hidden until it has something to say.
QLabel* errorLabel(QWidget* parent, const char* name);
void showError(QLabel& label, const std::optional<std::string>& error);
// A rounded pill in a faint ground of `color`: `lead`, then `text`.
QWidget* badge(QWidget* parent, const QColor& color, QWidget* lead, const QString& text, const char* name);

}  // namespace korvane::ui
