#pragma once
// One kind of list window (Auto-Trigger, E-Core Jail, Auto-Focus targets):
// at most one exists. Opening it again brings the existing window forward;
// otherwise the popover is closed first and the window appears 0.15 s later,
// above other windows for its first 0.5 s so it is not lost behind them.
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>
#include <functional>

#include "shared/mainloop/main_loop.h"

namespace korvane::ui {

class ListWindowSlot {
public:
    static constexpr auto kOpenDelay = std::chrono::milliseconds(150);
    static constexpr auto kFloatingTime = std::chrono::milliseconds(500);

    struct Options {
        QString title;
        QSize contentSize;
        bool resizable = false;
        // Builds the window's content; `close` closes the window.
        std::function<QWidget*(std::function<void()> close)> makeContent;
    };

    ListWindowSlot(MainLoop& loop, Options options);
    ~ListWindowSlot();
    ListWindowSlot(const ListWindowSlot&) = delete;
    ListWindowSlot& operator=(const ListWindowSlot&) = delete;

    // `closePopover` runs when a new window is about to be made.
    void show(const std::function<void()>& closePopover);

    QWidget* window() const { return window_; }
    bool opening() const { return openTimer_.active(); }

private:
    void create();

    MainLoop& loop_;
    Options options_;
    QPointer<QWidget> window_;
    Timer openTimer_;
    Timer levelTimer_;
};

}  // namespace korvane::ui
