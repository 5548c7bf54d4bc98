#pragma once
// Which desktop application a process with windows is, what to call it and
// which icon to show for it, on every desktop. A window says more than its
// process: a program started from a terminal shares the terminal's systemd
// unit and may run the same executable as other entries, but its window
// class (or Wayland app_id) is its own. So the sources speak in this order,
// strongest first:
//   1. the Flatpak or snap sandbox;
//   2. the windows' Wayland app_id or X11 classes (app_id, instance, then
//      class) against StartupWMClass, then as desktop IDs, as they are and
//      then lowercased with spaces turned to "-";
//   3. GLib's launch variables, then the systemd unit;
//   4. the executable.
// The process is always the one the compositor or X server names, never one
// guessed from a name.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/identity/desktop_session.h"
#include "platform/linux/identity/identity_resolver.h"
#include "platform/linux/workspace/window_apps.h"

namespace korvane::linux_platform {

struct WindowClass {
    WindowClass(std::string instance_ = {}, std::string className_ = {}, std::string appID_ = {})
        : instance(std::move(instance_)), className(std::move(className_)), appID(std::move(appID_)) {}

    std::string instance;  // X11 WM_CLASS
    std::string className;
    std::string appID;     // the Wayland app_id, or the application ID the compositor found for the window
    friend bool operator==(const WindowClass&, const WindowClass&) = default;
};

struct AppNaming {
    std::optional<std::string> appID;
    std::optional<std::string> name;  // the entry's localized Name, else the first window class or app_id
    std::string iconName;             // the entry's Icon: a theme name or a path
    bool partOfDesktop = false;       // the desktop's own program: never focused or throttled
};

class WindowIdentity {
public:
    // With `desktop`, the desktop's own processes are told apart.
    WindowIdentity(identity::IdentityResolver& resolver, std::string locale,
                   identity::DesktopSession* desktop = nullptr);

    // `classes` are the process's windows' WM_CLASS and app_id, in the
    // desktop's window order.
    // Remembered per process until forgotten, the classes change or desktop
    // entries are installed or removed.
    AppNaming nameApp(AppKey key, const std::vector<WindowClass>& classes);
    // The application `group` makes, named as above, as every workspace
    // announces it.
    app::RunningApplication recordOf(const WindowGroup& group);
    void forget(AppKey key);
    // Looks at the desktop entries' folders again.
    void refresh();

private:
    struct Remembered {
        std::vector<WindowClass> classes;
        AppNaming naming;
    };
    AppNaming resolve(pid_t pid, const std::vector<WindowClass>& classes);
    std::optional<identity::DesktopEntry> entryForClasses(const std::vector<identity::DataFolder>& folders,
                                                          const std::vector<WindowClass>& classes);

    identity::IdentityResolver& resolver_;
    std::string locale_;
    identity::DesktopSession* desktop_;
    std::uint64_t generation_ = 0;
    std::map<AppKey, Remembered> remembered_;
};

}  // namespace korvane::linux_platform
