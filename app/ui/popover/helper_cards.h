#pragma once
// The two bodies the popover shows instead of its main content: the setup
// card while no helper is installed, and the "not responding" card while one
// is installed but does not answer. Each shows the last error itself.
#include <QWidget>
#include <chrono>
#include <functional>
#include <vector>

#include "app/runtime/subscription.h"
#include "shared/mainloop/main_loop.h"

class QLabel;
class QPushButton;

namespace korvane::app {
class XPCManager;
}

namespace korvane::ui {

class Spinner;

class HelperSetupCard : public QWidget {
    Q_OBJECT
public:
    HelperSetupCard(app::XPCManager& xpc, std::function<void()> install, QWidget* parent = nullptr);
    QPushButton* installButton() const { return installButton_; }

private:
    void showState();

    app::XPCManager& xpc_;
    QPushButton* installButton_;
    Spinner* spinner_;
    QLabel* error_;
    std::vector<app::Subscription> subscriptions_;
};

class HelperNotRespondingCard : public QWidget {
    Q_OBJECT
public:
    static constexpr auto kRetryPause = std::chrono::seconds(2);
    static constexpr auto kReinstallPause = std::chrono::milliseconds(500);

    HelperNotRespondingCard(app::XPCManager& xpc, MainLoop& loop, std::function<void()> install,
                            std::function<void()> remove, QWidget* parent = nullptr);
    QPushButton* retryButton() const { return retryButton_; }
    QPushButton* reinstallButton() const { return reinstallButton_; }

private:
    void showState();
    void retry();
    void reinstall();

    app::XPCManager& xpc_;
    MainLoop& loop_;
    std::function<void()> install_;
    std::function<void()> remove_;
    QPushButton* retryButton_;
    QPushButton* reinstallButton_;
    QLabel* error_;
    Timer reinstallTimer_;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace korvane::ui
