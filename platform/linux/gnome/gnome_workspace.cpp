#include "platform/linux/gnome/gnome_workspace.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "app/runtime/app_log.h"

namespace korvane::linux_platform {
namespace {

std::string text(const QString& value) { return value.toStdString(); }

std::string notRunning() {
    return std::string("Korvane's GNOME Shell extension is off: run \"gnome-extensions enable ") +
           GnomeWorkspace::kExtensionUUID + "\" (after installing it, log out and in first)";
}

}  // namespace

GnomeWorkspace::GnomeWorkspace(MainLoop& loop, QDBusConnection bus, GnomeWorkspaceConfig config,
                               identity::UnitLookup& units)
    : PublishedWorkspace(loop), bus_(std::move(bus)), config_(std::move(config)), tracker_(config_.tracker, units) {
    setBlindSpot(notRunning());
    // Every sender: a forged signal is refused in the open, not dropped unseen.
    bus_.connect(QString(), QString::fromLatin1(kPath), QString::fromLatin1(kService), QStringLiteral("StateChanged"),
                 this, SLOT(stateChanged(QDBusMessage)));
    auto changed = [this](const QString&) { ownersChanged(); };
    shell_ = std::make_unique<BusNameOwner>(bus_, QStringLiteral("org.gnome.Shell"), changed);
    extension_ = std::make_unique<BusNameOwner>(bus_, QString::fromLatin1(kService), changed);
}

// The extension runs inside the shell, so both names have one owner. Until
// both have answered, or while they differ, nothing is believed.
void GnomeWorkspace::ownersChanged() {
    if (!shell_ || !extension_) return;
    const QString shell = shell_->owner(), extension = extension_->owner();
    if (!extension.isEmpty() && extension == shell) {
        if (following_ == extension) return;
        following_ = extension;
        app::logLine("GNOME workspace: following the extension in GNOME Shell (" + text(shell) + ")");
        auto call = QDBusMessage::createMethodCall(extension, QString::fromLatin1(kPath), QString::fromLatin1(kService),
                                                  QStringLiteral("GetState"));
        auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [this, extension](QDBusPendingCallWatcher* done) {
            QDBusPendingReply<QString> reply = *done;
            done->deleteLater();
            if (following_ != extension) return;
            if (!reply.isValid()) {
                app::logLine("GNOME workspace: the extension did not give its state: " + text(reply.error().message()));
                return;
            }
            take(extension, reply.value());
        });
        return;
    }
    if (!extension.isEmpty() && !shell.isEmpty()) {
        app::logLine("GNOME workspace: " + std::string(kService) + " is owned by " + text(extension) +
                     ", which is not GNOME Shell (" + text(shell) + "); it is not believed");
    }
    following_.clear();
    publish(tracker_.lose());
    setBlindSpot(shell.isEmpty() ? "GNOME Shell is not on the session bus: Korvane cannot tell which window is in "
                                   "front"
                                 : notRunning());
}

void GnomeWorkspace::stateChanged(const QDBusMessage& message) {
    const QString sender = message.service();
    if (following_.isEmpty() || sender != following_) {
        app::logLine("GNOME workspace: a report from " + text(sender) + ", which is not GNOME Shell, was refused");
        return;
    }
    const QVariantList arguments = message.arguments();
    if (arguments.size() != 1 || arguments.front().typeId() != QMetaType::QString) {
        app::logLine("GNOME workspace: a report from GNOME Shell was skipped: not one string");
        return;
    }
    take(sender, arguments.front().toString());
}

void GnomeWorkspace::take(const QString& from, const QString& json) {
    const QByteArray bytes = json.toUtf8();
    auto report = parseWindowReport(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                    config_.limits);
    if (!report) {
        app::logLine("GNOME workspace: a report from " + text(from) + " was skipped: " + report.error());
        return;
    }
    setBlindSpot({});
    publish(tracker_.apply(report.value()));
}

}  // namespace korvane::linux_platform
