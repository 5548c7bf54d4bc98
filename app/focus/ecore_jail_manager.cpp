#include "app/focus/ecore_jail_manager.h"

#include <algorithm>
#include <filesystem>

#include "app/client/xpc_manager.h"
#include "app/focus/owner_alive.h"
#include "app/runtime/app_log.h"
#include "app/runtime/string_table.h"
#include "app/runtime/task.h"
#include "app/runtime/uuid.h"
#include "shared/protocol/wire_codec.h"

namespace korvane::app {
namespace {

enum class Refusal { none, tooMany, tooLarge };

// Whether the helper would refuse these identifiers, and why.
Refusal refusalOf(std::vector<std::string> ids) {
    if (ids.size() > msg::kMaxJailedBundleIDs) return Refusal::tooMany;
    const std::size_t payload =
        wire::encodeRequest(0, msg::Call(msg::UpdateJailedBundleIDs{std::move(ids)})).size() - wire::kLengthPrefixBytes;
    return payload > wire::kMaxPayloadBytes ? Refusal::tooLarge : Refusal::none;
}

std::vector<std::string> idsOf(const std::vector<ECoreJailItem>& list) {
    std::vector<std::string> ids;
    ids.reserve(list.size() + 1);
    for (const auto& item : list) ids.push_back(item.bundleIdentifier);
    return ids;
}

}  // namespace

ECoreJailManager::ECoreJailManager(Dependencies dependencies)
    : bundles_(dependencies.bundles),
      settings_(dependencies.settings),
      xpcManager_(std::move(dependencies.xpcManager)),
      lifeline_(Lifeline::make(dependencies.mainLoop)) {
    isEnabled.setChangeHook([this](const bool& previous) {
        if (isEnabled.get() == previous) return;
        settings_.setBool(enabledKey, isEnabled.get());
        confinedReleased = false;
        scheduleSync();
    });
    loadJailList();
    isEnabled = settings_.boolValue(enabledKey);
    if (isEnabled.get() && !xpcManager_.expired()) scheduleSync();
    // A restarted helper knows no jail list: it gets it again.
    if (auto xpc = xpcManager_.lock()) {
        returnObserver_ = xpc->helperReturned().subscribe([this](const Done&) {
            if (isEnabled.get() || lastSyncError.get()) scheduleSync();
        });
    }
}

ECoreJailManager::~ECoreJailManager() { lifeline_->close(); }

void ECoreJailManager::addApp(const std::string& path) {
    auto bundle = bundles_.readBundle(path);
    if (!bundle || !bundle->bundleIdentifier) return;
    const std::string& id = *bundle->bundleIdentifier;
    std::string name = bundle->name;
    if (name.empty()) name = std::filesystem::path(path).stem().string();
    const auto& list = jailedApps.get();
    if (std::any_of(list.begin(), list.end(), [&](const ECoreJailItem& item) { return item.bundleIdentifier == id; })) {
        return;
    }
    auto longer = idsOf(list);
    longer.push_back(id);
    if (const Refusal refused = refusalOf(std::move(longer)); refused != Refusal::none) {
        const std::string why = localized(refused == Refusal::tooMany ? "error.jail.full" : "error.jail.too.large");
        lastSyncError = why;
        logLine("Jail: " + name + " not added — " + why);
        return;
    }
    jailedApps.modify(
        [&](std::vector<ECoreJailItem>& items) { items.push_back({makeUUID(), id, std::move(name), path}); });
    saveJailList();
    if (isEnabled.get()) scheduleSync();
}

void ECoreJailManager::removeApp(const ECoreJailItem& item) {
    jailedApps.modify([&](std::vector<ECoreJailItem>& items) {
        std::erase_if(items, [&](const ECoreJailItem& entry) { return entry.id == item.id; });
    });
    saveJailList();
    if (isEnabled.get()) scheduleSync();
}

void ECoreJailManager::scheduleSync() {
    spawn(lifeline_, [this]() -> Async<> { co_await syncWithDaemon(); });
}

Async<> ECoreJailManager::syncWithDaemon() {
    std::optional<Async<bool>> call;
    std::size_t count = 0;
    {
        auto xpc = xpcManager_.lock();
        if (!xpc) {
            logLine("ECoreJailManager — XPCManager henüz ayarlanmadı");
            co_return;
        }
        std::vector<std::string> ids;
        if (isEnabled.get()) ids = idsOf(jailedApps.get());
        // A list stored before additions were checked (or edited by hand)
        // can be one the helper refuses: say why instead of sending it.
        if (const Refusal refused = refusalOf(ids); refused != Refusal::none) {
            const std::string why =
                localized(refused == Refusal::tooMany ? "error.jail.over.limit" : "error.jail.over.size");
            lastSyncError = why;
            logLine("Jail list not sent — " + why);
            co_return;
        }
        count = ids.size();
        call.emplace(xpc->updateJailedBundleIDs(std::move(ids)));
    }
    std::weak_ptr<Lifeline> alive = lifeline_;
    const bool synced = co_await std::move(*call);
    if (!ownerAlive(alive)) co_return;
    if (synced) {
        lastSyncError = std::nullopt;
        logLine("Jail listesi daemon ile senkronize edildi (" + std::to_string(count) +
                " uygulama, enabled=" + (isEnabled.get() ? "true" : "false") + ")");
    } else {
        lastSyncError = localized("error.jail.sync.failed");
        logLine("Jail listesi senkronizasyon hatası");
    }
}

TaskHandle ECoreJailManager::releaseConfined() {
    return spawn(lifeline_, [this]() -> Async<> {
        if (isEnabled.get()) co_return;
        auto xpc = xpcManager_.lock();
        if (!xpc) {
            logLine("ECoreJailManager — XPCManager henüz ayarlanmadı");
            co_return;
        }
        auto call = xpc->xpcCallWithError(msg::UnthrottleAllProcesses{});
        xpc.reset();
        std::weak_ptr<Lifeline> alive = lifeline_;
        CallOutcome outcome = co_await std::move(call);
        if (!ownerAlive(alive)) co_return;
        if (outcome.success) {
            lastSyncError = std::nullopt;
            confinedReleased = true;
            logLine("Jail kapalı — hapsedilen uygulamalar serbest bırakıldı");
        } else {
            lastSyncError = localized("error.jail.release.failed");
            logLine("Jail'in hapsettiği uygulamalar serbest bırakılamadı — " + outcome.error.value_or(""));
        }
    });
}

void ECoreJailManager::saveJailList() { settings_.setData(storageKey, encodeJailItems(jailedApps.get())); }

void ECoreJailManager::loadJailList() {
    auto bytes = settings_.dataValue(storageKey);
    if (!bytes) return;
    // Assigned without storing again: the bytes on disk are already this list.
    if (auto items = decodeJailItems(*bytes)) jailedApps = std::move(*items);
}

}  // namespace korvane::app
