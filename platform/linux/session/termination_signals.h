#pragma once
// Turns SIGTERM, SIGINT and SIGHUP (a session or terminal that ends) into a
// call on the Qt main thread, so the application quits through its normal
// shutdown instead of dying mid-step.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace korvane::linux_platform {

class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    // One per process.
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    ~TerminationSignals() override;

private:
    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace korvane::linux_platform
