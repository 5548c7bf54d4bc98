#pragma once
// InstallProcess on QProcess. Must live on the main thread, whose event loop
// delivers the output and the exit. Destroying it ends a running installation.
#include <QProcess>

#include "app/ui/onboarding/install_process.h"

namespace korvane::app {

class QtInstallProcess final : public InstallProcess {
  public:
    QtInstallProcess();
    ~QtInstallProcess() override;

    std::optional<std::string> start(const InstallCommand& command, Handlers handlers) override;

  private:
    void deliverOutput();
    void onFinished(int exitCode, QProcess::ExitStatus exitStatus);

    QProcess process_;
    Handlers handlers_;
};

}  // namespace korvane::app
