#pragma once
// Building the setup view for a test: fixed facts about the computer, an
// installation plan in a fixture prefix, and either real processes or a
// stand-in whose output and exit the test hands over piece by piece.
#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/onboarding/onboarding_view.h"
#include "app/ui/onboarding/qt_install_process.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::testing {

// An InstallProcess the test drives by hand.
class ScriptedInstall final : public app::InstallProcess {
  public:
    struct Shared {
        Handlers handlers;
        app::InstallCommand command;
        int starts = 0;
    };
    explicit ScriptedInstall(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    std::optional<std::string> start(const app::InstallCommand& command,
                                     Handlers handlers) override {
        shared_->command = command;
        shared_->handlers = std::move(handlers);
        ++shared_->starts;
        return std::nullopt;
    }

  private:
    std::shared_ptr<Shared> shared_;
};

inline app::SystemSummary fixedSummary() {
    return {"Framework Laptop 13", "6P + 8E Cores", "32 GB RAM"};
}

inline ui::OnboardingDependencies scriptedDependencies(
    const std::shared_ptr<ScriptedInstall::Shared>& shared) {
    app::InstallPlan plan{[] { return Expected<app::InstallCommand, std::string>(app::InstallCommand{"runner", {}}); }};
    return {fixedSummary(), plan, [shared] { return std::make_unique<ScriptedInstall>(shared); }};
}

// A prefix with a privilege stand-in that runs the command as it is.
class InstallFixture : public FixtureTree {
  public:
    InstallFixture() { runner_ = write("bin/runner", "#!/bin/sh\nexec \"$@\"\n", 0755); }

    // The install script, as <prefix>/share/korvane/install_helper.sh.
    void script(const std::string& body) {
        write("share/korvane/install_helper.sh", "#!/bin/bash\n" + body, 0755);
    }
    void runner(const std::string& body) {
        runner_ = write("bin/runner", "#!/bin/sh\n" + body, 0755);
    }
    void runnerPath(std::string path) { runner_ = std::move(path); }

    // The script through the runner with the helper to copy, as the installer composes it.
    ui::OnboardingDependencies dependencies() const {
        app::InstallCommand command{runner_, {path("share/korvane/install_helper.sh"), "/opt/korvane/com.korvane.helper"}};
        app::InstallPlan plan{[command] { return Expected<app::InstallCommand, std::string>(command); }};
        return {fixedSummary(), plan, [] { return std::make_unique<app::QtInstallProcess>(); }};
    }

  private:
    std::string runner_;
};

// Runs the event loop until `done` holds or `milliseconds` pass.
inline bool waitUntil(const std::function<bool()>& done, int milliseconds = 15000) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline QPushButton* button(QWidget& view, const char* name) {
    return view.findChild<QPushButton*>(QString::fromLatin1(name));
}

// Whether the widget shows when its window does (the test need not show it).
inline bool shown(QWidget* widget) {
    return widget && widget->isVisibleTo(widget->window());
}

inline std::vector<std::string> logTexts(const ui::OnboardingView& view) {
    std::vector<std::string> texts;
    for (const ui::LogEntry& entry : view.installLog()) texts.push_back(entry.text);
    return texts;
}

}  // namespace korvane::testing
