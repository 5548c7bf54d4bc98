#pragma once
// Throttled Now: the processes confined at this moment, with their pid, the
// CPUs they may use and why (focus, Beast Mode, the jail), and "Release all".
// It reads the machine every two seconds while it is shown.
#include <QWidget>
#include <functional>

#include "app/throttled/throttled_processes_manager.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace korvane::app {
class ECoreJailManager;
class XPCManager;
}  // namespace korvane::app

namespace korvane::ui {

class ThrottledNowView final : public QWidget {
public:
    ThrottledNowView(app::ThrottledProcessesManager& manager, app::XPCManager& xpc,
                     const app::ECoreJailManager& jail, std::function<void()> close, QWidget* parent = nullptr);

    // "Focus, E-Core Jail"; what to call a process nothing of Korvane's confined.
    static QString reasonText(unsigned reasons);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showProcesses();
    void updateState();

    app::ThrottledProcessesManager& manager_;
    app::XPCManager& xpc_;
    const app::ECoreJailManager& jail_;
    QTreeWidget* list_;
    QLabel* empty_;
    QLabel* note_;
    QLabel* error_;
    QPushButton* release_;
};

}  // namespace korvane::ui
