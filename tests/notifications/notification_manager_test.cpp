// The focus notification: the switch, the permission and the requests.
#include "app/shell/notifications/notification_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/runtime/uuid.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/recording_notification_center.h"

namespace korvane::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class NotificationManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<NotificationManager> make() {
        auto manager = std::make_unique<NotificationManager>(
            NotificationManager::Dependencies{.mainLoop = loop, .settings = settings, .center = center});
        answered();
        return manager;
    }
    // Lets the service's answers reach the main loop.
    void answered() {
        center.joinAll();
        loop.runPending();
    }

    log::CapturedLines logLines;
    VirtualMainLoop loop;
    testing::FixtureTree folder;
    SettingsStore settings{loop, folder.path("config")};
    testing::RecordingNotificationCenter center;
};

TEST_F(NotificationManagerTest, EachActivationIsItsOwnNotification) {
    settings.setBool(NotificationManager::kEnabledKey, true);
    auto manager = make();
    EXPECT_EQ(center.authorizationRequests(), 0);  // the stored value asks for nothing
    manager->sendFocusActivatedNotification("Editor");
    manager->sendFocusActivatedNotification("Editor");
    auto requests = center.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].identifier, requests[1].identifier);
    // Its title: the focus scenarios.
    for (const auto& request : requests) {
        ASSERT_TRUE(request.identifier.starts_with("com.korvane.focus-activated-"));
        EXPECT_TRUE(isUUIDText(request.identifier.substr(std::string("com.korvane.focus-activated-").size())));
    }

    center.addError = "the service is gone";
    manager->sendFocusActivatedNotification("Editor");
    answered();
    EXPECT_THAT(logLines.lines(), ElementsAre("Korvane: Bildirim gönderme hatası — the service is gone"));
}

TEST_F(NotificationManagerTest, TurningOnAsksEveryTimeAndARefusalKeepsItSilent) {
    center.status = NotificationAuthorization::provisional;  // counts as not allowed
    auto manager = make();
    EXPECT_FALSE(manager->isAuthorized.get());

    center.grant = false;
    center.authorizationError = "denied by the user";
    manager->isEnabled = true;
    answered();
    EXPECT_TRUE(settings.boolValue(NotificationManager::kEnabledKey));
    EXPECT_FALSE(manager->isAuthorized.get());
    EXPECT_THAT(logLines.lines(), ElementsAre("Korvane: Bildirim izni hatası — denied by the user"));
    manager->sendFocusActivatedNotification("Editor");
    EXPECT_THAT(center.requests(), IsEmpty());

    // Off asks nothing and keeps the answer; on again asks again. An answer
    // arriving after the manager is gone must not touch it (the sanitizers
    // would tell).
    manager->isEnabled = false;
    answered();
    EXPECT_FALSE(settings.boolValue(NotificationManager::kEnabledKey));
    center.grant = true;
    center.authorizationError.clear();
    manager->isEnabled = true;
    answered();
    EXPECT_EQ(center.authorizationRequests(), 2);
    EXPECT_TRUE(manager->isAuthorized.get());
    manager->sendFocusActivatedNotification("Editor");
    EXPECT_EQ(center.requests().size(), 1u);
    manager->isEnabled = false;
    manager->isEnabled = true;
    manager.reset();
    answered();
}

}  // namespace
}  // namespace korvane::app
