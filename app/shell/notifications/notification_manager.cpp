#include "app/shell/notifications/notification_manager.h"

#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/runtime/uuid.h"

namespace korvane::app {

NotificationManager::NotificationManager(Dependencies dependencies)
    : settings_(dependencies.settings),
      center_(dependencies.center),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {
    // The stored value is taken as it is: reading it is no change to write back.
    isEnabled = settings_.boolValue(kEnabledKey);
    isEnabled.setChangeHook([this](const bool&) { onEnabledAssigned(); });

    center_.getAuthorizationStatus([weak = std::weak_ptr<Lifeline>(lifeline_), this](NotificationAuthorization status) {
        auto lifeline = weak.lock();
        if (!lifeline) return;
        lifeline->post([this, status] { isAuthorized = status == NotificationAuthorization::authorized; });
    });
}

NotificationManager::~NotificationManager() { lifeline_->close(); }

void NotificationManager::onEnabledAssigned() {
    settings_.setBool(kEnabledKey, isEnabled.get());
    if (!isEnabled.get()) return;
    center_.requestAuthorization([weak = std::weak_ptr<Lifeline>(lifeline_), this](bool granted, std::string error) {
        auto lifeline = weak.lock();
        if (!lifeline) return;
        lifeline->post([this, granted, error = std::move(error)] {
            isAuthorized = granted;
            if (!error.empty()) logLine("Bildirim izni hatası — " + error);
        });
    });
}

void NotificationManager::sendFocusActivatedNotification(const std::string& appName) {
    if (!isEnabled.get() || !isAuthorized.get()) return;
    NotificationRequest request;
    request.identifier = std::string(kIdentifierPrefix) + makeUUID();
    request.title = StringTable::compiledIn().format("notification.focus.active.title", {appName});
    request.body = localized("notification.focus.active.body");
    request.playDefaultSound = true;
    // The outcome only matters to the log; the sender is never told.
    center_.add(request, [](std::string error) {
        if (!error.empty()) logLine("Bildirim gönderme hatası — " + error);
    });
}

}  // namespace korvane::app
