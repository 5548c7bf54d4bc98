#pragma once
// Which desktop application a process with windows is, what to call it and
// which icon to show for it. A window says more than its process: a program
// started from a terminal shares the terminal's systemd unit and may run the
// same executable as other entries, but its window class is its own. So the
// sources speak in this order, strongest first:
//   1. the Flatpak or snap sandbox;
//   2. the window classes (instance, then class) against StartupWMClass,
//      then as desktop IDs, as they are and then lowercased with spaces
//      turned to "-";
//   3. GLib's launch variables, then the systemd unit;
//   4. the executable.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/x11/window_apps.h"
#include "platform/linux/identity/desktop_session.h"
#include "platform/linux/identity/identity_resolver.h"

namespace korvane::linux_platform {

struct WindowClass {
    std::string instance;
    std::string className;
    friend bool operator==(const WindowClass&, const WindowClass&) = default;
};

struct AppNaming {
    std::optional<std::string> appID;
    std::optional<std::string> name;  // the entry's localized Name, else the first window class
    std::string iconName;             // the entry's Icon: a theme name or a path
    bool partOfDesktop = false;       // the desktop's own program: never focused or throttled
};

class WindowIdentity {
public:
    // With `desktop`, the desktop's own processes are told apart.
    WindowIdentity(identity::IdentityResolver& resolver, std::string locale,
                   identity::DesktopSession* desktop = nullptr);

    // `classes` are the process's windows' WM_CLASS, in client-list order.
    // Remembered per process until forgotten, the classes change or desktop
    // entries are installed or removed.
    AppNaming nameApp(AppKey key, const std::vector<WindowClass>& classes);
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
