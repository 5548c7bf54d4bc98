// The freedesktop notification adapter against a recording fake server on a
// private session bus (the test runs inside dbus-run-session), and with no
// bus at all.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <optional>

#include "platform/linux/dbus/freedesktop_notification_center.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/started_program.h"

namespace korvane::linux_platform {
namespace {

using app::NotificationAuthorization;
using app::NotificationRequest;

// Processes Qt events until `done()` or 10 s.
template <class F>
bool waitFor(F done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return done();
}

class NotificationCenterTest : public ::testing::Test {
protected:
    void startServer() {
        ASSERT_NE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), QByteArray()) << "run under dbus-run-session";
        server = std::make_unique<testing::StartedProgram>(
            std::vector<std::string>{"/usr/bin/python3", KORVANE_FAKE_NOTIFICATION_SERVER, record});
        ASSERT_TRUE(waitFor(serverUp));
    }
    void stopServer() {
        server.reset();
        waitFor([] { return !serverUp(); });
    }
    static bool serverUp() {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications").value();
    }

    std::vector<QJsonObject> recorded() const {
        std::vector<QJsonObject> calls;
        QFile file(QString::fromStdString(record));
        if (!file.open(QIODevice::ReadOnly)) return calls;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) calls.push_back(QJsonDocument::fromJson(line).object());
        }
        return calls;
    }

    // What `call` hands its callback, once Qt has delivered it.
    template <class T, class Call>
    static std::optional<T> delivered(Call call) {
        std::optional<T> got;
        call([&](auto... values) { got.emplace(std::move(values)...); });
        waitFor([&] { return got.has_value(); });
        return got;
    }
    static std::optional<NotificationAuthorization> statusOf(FreedesktopNotificationCenter& center) {
        return delivered<NotificationAuthorization>([&](auto done) { center.getAuthorizationStatus(done); });
    }
    static std::optional<std::pair<bool, std::string>> requestAuthorization(FreedesktopNotificationCenter& center) {
        return delivered<std::pair<bool, std::string>>([&](auto done) { center.requestAuthorization(done); });
    }
    static std::optional<std::string> add(FreedesktopNotificationCenter& center, const std::string& identifier,
                                          bool sound = true) {
        NotificationRequest request{identifier, "Focus Mode Active", "Blender now has the performance cores.", sound};
        return delivered<std::string>([&](auto done) { center.add(request, done); });
    }

    testing::FixtureTree folder;
    std::string record = folder.path("notifications.jsonl");
    std::unique_ptr<testing::StartedProgram> server;
};

TEST_F(NotificationCenterTest, AuthorizedExactlyWhileAServerAnswers) {
    FreedesktopNotificationCenter center(QDBusConnection::sessionBus());
    EXPECT_EQ(statusOf(center), NotificationAuthorization::denied);
    auto answer = requestAuthorization(center);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(answer->first);
    EXPECT_FALSE(answer->second.empty());  // says why, for the log

    startServer();
    EXPECT_EQ(statusOf(center), NotificationAuthorization::authorized);
    EXPECT_EQ(requestAuthorization(center), std::make_pair(true, std::string()));

    stopServer();
    EXPECT_EQ(statusOf(center), NotificationAuthorization::denied);
    EXPECT_TRUE(recorded().empty());
}

TEST_F(NotificationCenterTest, TwoNotificationsStackWithTheirOwnIdentifiers) {
    startServer();
    FreedesktopNotificationCenter center(QDBusConnection::sessionBus());
    const std::string first = "com.korvane.focus-activated-6F1C2E8A-0D4B-4E51-9B3A-2C7D5E9F1A20";
    const std::string second = "com.korvane.focus-activated-0A9B8C7D-6E5F-4A3B-8C2D-1E0F9A8B7C6D";
    EXPECT_EQ(add(center, first), std::string());
    EXPECT_EQ(add(center, second), std::string());

    auto calls = recorded();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& call : calls) {
        const QJsonObject hints = call["hints"].toObject();
        // Filed under the desktop entry, whose ID is also the icon's name.
        EXPECT_EQ(hints["desktop-entry"].toString(), "com.korvane.app");
        EXPECT_EQ(call["app_icon"].toString(), "com.korvane.app");
        EXPECT_EQ(call["replaces_id"].toInt(), 0);  // stacks, never replaces
        EXPECT_TRUE(hints.contains("sound-name"));
        // Our icon travels as pixels: 64 x 64, RGBA.
        const auto image = hints["image-data"].toArray();
        ASSERT_EQ(image.size(), 7);
        EXPECT_EQ(image[6].toObject()["bytes"].toInt(), 64 * 64 * 4);
    }
    EXPECT_EQ(calls[0]["hints"].toObject()["x-korvane-identifier"].toString().toStdString(), first);
    EXPECT_EQ(calls[1]["hints"].toObject()["x-korvane-identifier"].toString().toStdString(), second);

    // No sound asked, no sound hint.
    EXPECT_EQ(add(center, "com.korvane.focus-activated-X", false), std::string());
    EXPECT_FALSE(recorded().back()["hints"].toObject().contains("sound-name"));
}

TEST_F(NotificationCenterTest, WithoutASessionBusNothingIsAuthorizedAndNothingFails) {
    FreedesktopNotificationCenter center(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=") + QString::fromStdString(folder.path("no-bus")),
                                      QStringLiteral("korvane-no-bus")));
    EXPECT_EQ(statusOf(center), NotificationAuthorization::denied);
    std::optional<std::pair<bool, std::string>> answer;
    center.requestAuthorization([&](bool granted, std::string error) { answer.emplace(granted, error); });
    EXPECT_EQ(answer, std::make_pair(false, std::string()));  // at once: there is nobody to ask
    auto error = add(center, "com.korvane.focus-activated-X");
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->empty());
}

}  // namespace
}  // namespace korvane::linux_platform
