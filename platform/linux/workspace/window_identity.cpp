#include "platform/linux/workspace/window_identity.h"

#include <cctype>

namespace korvane::linux_platform {
namespace {

// How desktops guess an ID from a class such as "Google Chrome".
std::string heuristicID(const std::string& text) {
    std::string id = text;
    for (char& c : id) {
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return id;
}

}  // namespace

WindowIdentity::WindowIdentity(identity::IdentityResolver& resolver, std::string locale,
                               identity::DesktopSession* desktop)
    : resolver_(resolver), locale_(std::move(locale)), desktop_(desktop), generation_(resolver.generation()) {}

void WindowIdentity::refresh() {
    resolver_.refresh();
    if (resolver_.generation() != generation_) {
        generation_ = resolver_.generation();
        remembered_.clear();
    }
}

void WindowIdentity::forget(AppKey key) { remembered_.erase(key); }

AppNaming WindowIdentity::nameApp(AppKey key, const std::vector<WindowClass>& classes) {
    auto it = remembered_.find(key);
    if (it != remembered_.end() && it->second.classes == classes) return it->second.naming;
    AppNaming naming = resolve(key.pid, classes);
    remembered_[key] = Remembered{classes, naming};
    return naming;
}

std::optional<identity::DesktopEntry> WindowIdentity::entryForClasses(const std::vector<identity::DataFolder>& folders,
                                                                      const std::vector<WindowClass>& classes) {
    for (const auto& windowClass : classes) {
        const std::string* texts[] = {&windowClass.appID, &windowClass.instance, &windowClass.className};
        for (const std::string* text : texts) {
            if (text->empty()) continue;
            if (auto entry = resolver_.entryForStartupWMClass(folders, *text)) return entry;
        }
        for (const std::string* text : texts) {
            if (text->empty()) continue;
            if (auto entry = resolver_.entryForAppID(folders, *text)) return entry;
            std::string guessed = heuristicID(*text);
            if (guessed == *text) continue;
            if (auto entry = resolver_.entryForAppID(folders, guessed)) return entry;
        }
    }
    return std::nullopt;
}

AppNaming WindowIdentity::resolve(pid_t pid, const std::vector<WindowClass>& classes) {
    std::optional<std::string> appID;
    std::optional<identity::DesktopEntry> entry;
    const auto folders = resolver_.dataFoldersFor(pid);

    if (auto origin = resolver_.sandboxOrigin(pid)) appID = resolver_.readAppID(*origin);
    if (!appID) {
        entry = entryForClasses(folders, classes);
        if (entry) appID = entry->id;
    }
    for (auto source : {&identity::IdentityResolver::launchOrigin, &identity::IdentityResolver::unitOrigin,
                        &identity::IdentityResolver::executableOrigin}) {
        if (appID) break;
        if (auto origin = (resolver_.*source)(pid)) appID = resolver_.readAppID(*origin);
    }
    if (appID && !entry) entry = resolver_.entryForAppID(folders, *appID);

    AppNaming naming;
    naming.appID = appID;
    naming.partOfDesktop = desktop_ && desktop_->isDesktopProcess(pid, [&] { return entry; });
    if (entry) {
        std::string name = identity::localizedName(*entry, locale_);
        if (!name.empty()) naming.name = std::move(name);
        naming.iconName = entry->icon;
    }
    if (!naming.name) {
        for (const auto& windowClass : classes) {
            const std::string& shown = windowClass.className.empty() ? windowClass.appID : windowClass.className;
            if (shown.empty()) continue;
            naming.name = shown;
            break;
        }
    }
    return naming;
}

app::RunningApplication WindowIdentity::recordOf(const WindowGroup& group) {
    std::vector<WindowClass> classes;
    for (const WindowFacts* window : group.windows) {
        classes.emplace_back(window->instance, window->className, window->appID);
    }
    AppNaming naming = nameApp(group.key, classes);
    app::RunningApplication app;
    app.processIdentifier = group.key.pid;
    app.localizedName = naming.name;
    app.bundleIdentifier = naming.appID;
    // The desktop's own programs (a panel's settings window, say) are no
    // applications to focus or throttle.
    app.activationPolicy = naming.partOfDesktop ? app::ActivationPolicy::accessory : group.policy;
    // The entry's icon name, and the window's own pixels (X11's _NET_WM_ICON)
    // for when no installed theme has that name.
    for (const WindowFacts* window : group.windows) {
        if (!window->icon) continue;
        app.icon = window->icon;
        break;
    }
    if (!naming.iconName.empty()) {
        if (!app.icon) app.icon = app::AppIcon{};
        app.icon->themeNameOrPath = naming.iconName;
    }
    return app;
}

}  // namespace korvane::linux_platform
