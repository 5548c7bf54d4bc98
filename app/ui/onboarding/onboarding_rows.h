#pragma once
// The building blocks of the setup window's pages.
#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <string>

namespace korvane::ui::rows {

// A page heading: an optional symbol (or the logo), a title and a subtitle, centred.
QWidget* pageHeader(const std::string& symbol, const QColor& symbolColour, const QString& title,
                    const QString& subtitle);

// A capsule with a symbol and a short fact ("cpu" + "6P + 8E Cores").
QWidget* infoChip(const std::string& symbol, const QString& text);

// A card for one kind of core: its symbol, name and short name in its
// colour, and its strengths, each after a check mark.
QWidget* coreCard(const std::string& symbol, const QString& title, const QString& shortName,
                  const QColor& colour, const QStringList& points);

// One step of a flow, its symbol in a disc of its colour.
QWidget* flowStep(const std::string& symbol, const QString& text, const QColor& colour);
// The short line joining two flow steps.
QWidget* flowConnector();

// A card for one automatic mode: title (with an optional aside), what it
// does, and an example.
QWidget* modeCard(const std::string& symbol, const QString& title, const QString& aside,
                  const QColor& colour, const QString& description, const QString& example);

// A feature: its symbol on a tinted square, a title and a description.
QWidget* featureRow(const std::string& symbol, const QString& title, const QString& description,
                    const QColor& colour);

// One layer of the architecture, and the line that joins it to the next.
QWidget* archRow(const std::string& symbol, const QString& title, const QString& description,
                 const QColor& colour);
QWidget* archConnector(const QString& label);

// A short statement after a symbol.
QWidget* keyPoint(const std::string& symbol, const QString& text);

// A tip of the closing page: a symbol above two short lines.
QWidget* tipView(const std::string& symbol, const QString& text);

// A tinted box with a symbol and a text; the optional title goes above the text.
QWidget* noteBox(const std::string& symbol, const QColor& colour, const QString& title,
                 const QString& text);

}  // namespace korvane::ui::rows
