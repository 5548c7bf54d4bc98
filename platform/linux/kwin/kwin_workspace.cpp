#include "platform/linux/kwin/kwin_workspace.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <chrono>

#include "app/runtime/app_log.h"

namespace korvane::linux_platform {
namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScriptingPath = QStringLiteral("/Scripting");
const QString kScriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString kScriptInterface = QStringLiteral("org.kde.kwin.Script");

std::string text(const QString& value) { return value.toStdString(); }

// Korvane's script reports the window list as it starts; KWin's own
// answer to `run` comes only after that on Plasma 5.27 and 6.
constexpr std::chrono::milliseconds kFirstReportWait{2000};

}  // namespace

KWinWorkspace::KWinWorkspace(MainLoop& loop, QDBusConnection bus, KWinWorkspaceConfig config,
                             identity::UnitLookup& units)
    : PublishedWorkspace(loop), bus_(std::move(bus)), config_(std::move(config)), tracker_(config_.tracker, units) {
    setBlindSpot("KWin has not told Korvane its windows yet");
    served_ = bus_.registerObject(QString::fromLatin1(kPath), this, QDBusConnection::ExportScriptableSlots) &&
              bus_.interface() &&
              bus_.interface()
                      ->registerService(QString::fromLatin1(kService), QDBusConnectionInterface::DontQueueService,
                                        QDBusConnectionInterface::DontAllowReplacement)
                      .value() == QDBusConnectionInterface::ServiceRegistered;
    if (!served_) {
        setBlindSpot("Korvane could not serve " + std::string(kService) +
                     " on the session bus (another Korvane?), so KWin cannot tell it its windows");
        return;
    }
    kwin_ = std::make_unique<BusNameOwner>(bus_, kKWin, [this](const QString& owner) { kwinChanged(owner); });
}

KWinWorkspace::~KWinWorkspace() {
    if (scriptRunning_ && kwin_ && !kwin_->owner().isEmpty()) {
        QDBusMessage unload = scriptingCall("unloadScript");
        unload << QString::fromLatin1(kPluginName);
        bus_.call(unload, QDBus::Block, 500);
    }
    if (served_) {
        bus_.unregisterObject(QString::fromLatin1(kPath));
        bus_.unregisterService(QString::fromLatin1(kService));
    }
}

QDBusMessage KWinWorkspace::scriptingCall(const char* method) const {
    return QDBusMessage::createMethodCall(kwin_->owner(), kScriptingPath, kScriptingInterface,
                                          QString::fromLatin1(method));
}

// A new KWin (started, or replacing one that ended) knows nothing of the
// script: until it runs there, nothing is known to be in front.
void KWinWorkspace::kwinChanged(const QString& owner) {
    scriptRunning_ = false;
    heardFromScript_ = false;
    publish(tracker_.lose());
    if (owner.isEmpty()) {
        setBlindSpot("KWin is not on the session bus: Korvane cannot tell which window is in front");
        return;
    }
    setBlindSpot("KWin has not told Korvane its windows yet");
    app::logLine("KWin workspace: KWin is " + text(owner) + "; loading " + config_.scriptPath);
    loadAttempts_ = 0;
    loadScript();
}

// A script of that name left by an earlier Korvane that did not end cleanly
// makes loading fail, so it is unloaded first.
void KWinWorkspace::loadScript() {
    const QString owner = kwin_->owner();
    QDBusMessage unload = scriptingCall("unloadScript");
    unload << QString::fromLatin1(kPluginName);
    auto* unloading = new QDBusPendingCallWatcher(bus_.asyncCall(unload), this);
    connect(unloading, &QDBusPendingCallWatcher::finished, this, [this, owner](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (kwin_->owner() != owner) return;
        QDBusMessage load = scriptingCall("loadScript");
        load << QString::fromStdString(config_.scriptPath) << QString::fromLatin1(kPluginName);
        auto* loading = new QDBusPendingCallWatcher(bus_.asyncCall(load), this);
        connect(loading, &QDBusPendingCallWatcher::finished, this, [this, owner](QDBusPendingCallWatcher* loaded) {
            QDBusPendingReply<int> reply = *loaded;
            loaded->deleteLater();
            if (kwin_->owner() != owner) return;
            // A KWin that has just taken its name exports /Scripting a moment
            // later.
            if (!reply.isValid() && reply.error().type() == QDBusError::UnknownObject && ++loadAttempts_ < 50) {
                QTimer::singleShot(100, this, [this, owner] {
                    if (kwin_->owner() == owner) loadScript();
                });
                return;
            }
            if (!reply.isValid() || reply.value() < 0) {
                setBlindSpot("KWin did not load Korvane's script " + config_.scriptPath + " (" +
                             text(reply.isValid() ? QStringLiteral("id -1") : reply.error().message()) + ")");
                return;
            }
            runScript(reply.value());
        });
    });
}

// Plasma 5 puts a loaded script at /<id>, Plasma 6 at /Scripting/Script<id>.
void KWinWorkspace::runScript(int id) {
    const QString owner = kwin_->owner();
    auto run = [this, owner](const QString& path, std::function<void()> otherwise) {
        auto call = QDBusMessage::createMethodCall(owner, path, kScriptInterface, QStringLiteral("run"));
        auto* running = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(running, &QDBusPendingCallWatcher::finished, this,
                [this, owner, otherwise](QDBusPendingCallWatcher* done) {
                    const bool failed = done->isError();
                    done->deleteLater();
                    if (kwin_->owner() != owner) return;
                    if (!failed) {
                        scriptRunning_ = true;
                        QTimer::singleShot(kFirstReportWait, this, [this, owner] { startIfSilent(owner); });
                        return;
                    }
                    otherwise();
                });
    };
    run(QStringLiteral("/%1").arg(id), [this, run, id] {
        run(QStringLiteral("/Scripting/Script%1").arg(id), [this] {
            setBlindSpot("KWin loaded Korvane's script but did not run it");
        });
    });
}

// KWin numbers a new script by how many it holds, so once a script below
// another was unloaded, the next one loaded gets a live script's number:
// its D-Bus path is taken, and `run` there reaches the other script and
// succeeds. Korvane's script reports as soon as it runs, so silence means
// it never ran; Scripting.start runs every loaded script that is not
// running, in KWin itself rather than by path (and rereads which of the
// user's own scripts are enabled, as KWin does when its settings change).
void KWinWorkspace::startIfSilent(const QString& owner) {
    if (heardFromScript_ || kwin_->owner() != owner) return;
    app::logLine(
        "KWin workspace: Korvane's script was run but has not spoken; asking KWin to start its loaded scripts");
    auto* starting = new QDBusPendingCallWatcher(bus_.asyncCall(scriptingCall("start")), this);
    connect(starting, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        if (done->isError()) {
            app::logLine("KWin workspace: KWin did not start its loaded scripts: " + text(done->error().message()));
            setBlindSpot("KWin loaded Korvane's script but did not run it");
        }
        done->deleteLater();
    });
}

void KWinWorkspace::Report(const QString& json) {
    const QString sender = message().service();
    if (!kwin_ || !kwin_->owns(sender)) {
        app::logLine("KWin workspace: a report from " + text(sender) + ", which is not KWin, was refused");
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("only KWin reports windows"));
        return;
    }
    heardFromScript_ = true;
    const QByteArray bytes = json.toUtf8();
    auto report = parseWindowReport(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                    config_.limits);
    if (!report) {
        app::logLine("KWin workspace: a report from KWin was skipped: " + report.error());
        return;
    }
    setBlindSpot({});
    publish(tracker_.apply(report.value()));
}

}  // namespace korvane::linux_platform
