#include "app/ui/onboarding/qt_install_process.h"

#include <QStringList>

namespace korvane::app {

namespace {
// Bounded wait for fork and exec; a program that cannot be executed is known by then.
constexpr int kStartTimeoutMs = 10000;
}  // namespace

QtInstallProcess::QtInstallProcess() {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                     [this] { deliverOutput(); });
    QObject::connect(&process_, &QProcess::finished, &process_,
                     [this](int exitCode, QProcess::ExitStatus exitStatus) {
                         onFinished(exitCode, exitStatus);
                     });
}

QtInstallProcess::~QtInstallProcess() {
    handlers_ = {};
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

std::optional<std::string> QtInstallProcess::start(const InstallCommand& command,
                                                   Handlers handlers) {
    handlers_ = std::move(handlers);
    QStringList arguments;
    for (const std::string& argument : command.arguments)
        arguments << QString::fromStdString(argument);
    process_.start(QString::fromStdString(command.program), arguments);
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        handlers_ = {};
        std::string reason = process_.errorString().toStdString();
        if (process_.state() != QProcess::NotRunning) process_.kill();
        return reason;
    }
    // Nothing is typed into the installation; a runner that reads its input sees the end at once.
    process_.closeWriteChannel();
    return std::nullopt;
}

void QtInstallProcess::deliverOutput() {
    QByteArray chunk = process_.readAllStandardOutput();
    if (!chunk.isEmpty() && handlers_.output)
        handlers_.output(std::string_view(chunk.constData(), chunk.size()));
}

void QtInstallProcess::onFinished(int exitCode, QProcess::ExitStatus exitStatus) {
    deliverOutput();
    InstallExit exit;
    // Qt reports the signal's number as the code of a crash; a killed
    // installation must never read as status 0, so it is told as the shell
    // tells it.
    exit.status = exitStatus == QProcess::CrashExit ? 128 + exitCode : exitCode;
    QByteArray errors = process_.readAllStandardError();
    exit.standardError.assign(errors.constData(), static_cast<std::size_t>(errors.size()));
    auto finished = std::move(handlers_.finished);
    handlers_ = {};
    if (finished) finished(std::move(exit));
}

}  // namespace korvane::app
