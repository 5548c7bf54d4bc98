#pragma once
// What the focus engine needs to know of the desktop: which graphical
// applications run, which one is in front, and when that changes. The focus
// engine owns this interface; a desktop adapter (X11 today) implements it and
// the program's main hands it in. Tests use a fake.
//
// Every observer is called on the main loop's thread, never from inside a
// call to the interface itself.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/runtime/subscription.h"

namespace korvane::app {

// How an application takes part in the desktop, in the values the workspace
// has always used: regular applications have a window in the task bar.
enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

// An application's icon as plain data; only the views turn it into pixels on
// screen. Either a name from the icon theme or a file path (from the desktop
// entry), or the window's own ARGB pixels, or both.
struct AppIcon {
    std::string themeNameOrPath;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;  // width * height pixels, 0xAARRGGBB, rows top to bottom

    bool empty() const { return themeNameOrPath.empty() && argb.empty(); }
    friend bool operator==(const AppIcon&, const AppIcon&) = default;
};

// One running application as the workspace sees it at one moment.
struct RunningApplication {
    std::int32_t processIdentifier = 0;
    std::optional<std::string> localizedName;
    std::optional<std::string> bundleIdentifier;  // the desktop application ID
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    std::optional<AppIcon> icon;
};

class Workspace {
public:
    using AppObserver = std::function<void(const RunningApplication&)>;

    virtual ~Workspace() = default;

    // A fresh snapshot, in the desktop's own order.
    virtual std::vector<RunningApplication> runningApplications() const = 0;

    // The application that owns the active window, if any.
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;

    // Announcements. Each lasts as long as its token.
    virtual Subscription observeLaunch(AppObserver observer) = 0;
    virtual Subscription observeTermination(AppObserver observer) = 0;
    virtual Subscription observeActivation(AppObserver observer) = 0;

    // The front became nothing: no window is active, or one that no
    // application owns (the desktop, a panel). Reported as it happens;
    // window managers pass through nothing between two windows, so the focus
    // engine counts it only once it lasts (FrontAbsence). Our own windows
    // coming to the front are neither. frontmostApplication() is empty from
    // then until the next activation.
    virtual Subscription observeFrontCleared(std::function<void()> observer) {
        (void)observer;
        return {};
    }
};

}  // namespace korvane::app
