#pragma once
// The popover: a frameless popup opened at the tray icon, closed by a click
// anywhere else. 300 px wide and at most the screen's available height − 40
// tall, and as tall as its content wants within that whenever the content
// changes; its content is whatever view it is given (the main view later).
#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace korvane::app {

// Where a popup of `size` goes for an icon at `anchor`: below it, or above
// when it would leave the available area, and kept inside that area. A
// one-pixel anchor (a click inside a panel) ends up just clear of the panel.
QPoint popoverPosition(const QRect& anchor, const QSize& size, const QRect& available);

class Popover final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 300;
    static constexpr int kBottomMargin = 40;

    Popover();

    // Replaces the content; the popover takes ownership.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

    // Opens at `anchor` (global coordinates) on the anchor's screen.
    void showAt(const QRect& anchor);
    bool isShown() const { return isVisible(); }

    // True when the popover has just been closed by the click that is now
    // asking to toggle it: that click must not open it again.
    bool closedByThisClick() const;

Q_SIGNALS:
    void shownChanged(bool shown);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Sizes the popover to its content, within the screen, at the anchor.
    void fit();

    QRect anchor_;
    QPointer<QWidget> content_;
    QElapsedTimer sinceHidden_;
};

}  // namespace korvane::app
