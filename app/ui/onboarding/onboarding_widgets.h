#pragma once
// Small widgets of the first-run windows: a symbol that stays sharp at any
// screen scale, the page dots, a busy indicator and the window's buttons.
#include <QColor>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <string>

namespace korvane::ui {

// One symbol at a fixed logical size, drawn for the screen it is painted on.
class SymbolView : public QWidget {
  public:
    SymbolView(std::string symbol, int logicalSize, std::optional<QColor> tint,
               QWidget* parent = nullptr);
    const std::string& symbol() const { return symbol_; }
    QSize sizeHint() const override { return {size_, size_}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string symbol_;
    int size_;
    std::optional<QColor> tint_;
};

// The application logo, drawn the same way.
class LogoView : public QWidget {
  public:
    explicit LogoView(int logicalSize, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {size_, size_}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int size_;
};

// One dot per page: the current page's wider, in the accent colour; pages
// already passed in the accent colour; later ones faded.
class StepDots : public QWidget {
  public:
    StepDots(int count, QWidget* parent = nullptr);
    void setCurrent(int current);
    int current() const { return current_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int count_;
    int current_ = 0;
};

// A spinning wheel for work of unknown length.
class BusyIndicator : public QWidget {
  public:
    explicit BusyIndicator(int logicalSize, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {size_, size_}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    int size_;
    int phase_ = 0;
    QTimer timer_;
};

// Enter as a dialog reads it, for the first-run views: it presses the focused
// button when a button of `view` has the focus, else `primary` when it shows.
// The button is pressed when the key comes up, and only for a press `view`
// saw go down: the Enter that accepted the agreement does nothing in setup,
// and the window a press closes is still there for the key's release. A held
// Enter, which X repeats as a release and a press of the same moment, presses
// once. The views (and their windows, for keys that reach no widget) hand
// every key event here first; true when it was taken.
bool enterPressed(QKeyEvent& event, QWidget& view, QPushButton* primary);
bool enterReleased(QKeyEvent& event, QWidget& view, QPushButton* primary);

enum class ButtonRole { Primary, Secondary, Success, Link };

// A push button in the window's look; the symbol, when given, sits before the
// text, or after it for `symbolAfterText` ("Continue →").
QPushButton* makeButton(const QString& text, ButtonRole role, const std::string& symbol = {},
                        bool symbolAfterText = false);
// Gives an existing button another role, text and symbol.
void restyleButton(QPushButton* button, const QString& text, ButtonRole role,
                   const std::string& symbol, bool symbolAfterText);

}  // namespace korvane::ui
