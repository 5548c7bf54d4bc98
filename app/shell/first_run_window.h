#pragma once
// The two one-time windows shown before Korvane runs: the agreement and the
// setup. Each hosts a view (filled in by the onboarding views; a placeholder
// until then) at a fixed content size, above other windows (the modal-panel
// level), centred on the screen.
#include <QString>
#include <QWidget>
#include <functional>

namespace korvane::app {

class FirstRunWindow final : public QWidget {
    Q_OBJECT
public:
    struct Style {
        QString title;
        QSize contentSize;
        bool closable = true;
    };

    FirstRunWindow(const Style& style, QWidget* view);

    // Closes the window even when it has no close button.
    void closeForGood();

    // Runs before the window closes, however it is closed.
    std::function<void()> onWillClose;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool closable_;
    bool closingForGood_ = false;
};

// The views the windows host, with the actions their buttons run.
struct FirstRunViews {
    // `accept` records nothing itself; `quit` closes the agreement unaccepted.
    std::function<QWidget*(std::function<void()> accept, std::function<void()> quit)> agreement;
    std::function<QWidget*(std::function<void()> complete)> setup;
};

}  // namespace korvane::app
