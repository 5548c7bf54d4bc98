// X11: Xvfb with openbox and the X11 test client, as the X11 workspace's own
// tests start them.
#include <map>

#include "platform/linux/x11/x11_workspace.h"
#include "tests/desktops/desktop_sessions.h"
#include "tests/x11/x_session.h"

namespace korvane::testing {
namespace {

class X11Client final : public SessionApp {
public:
    explicit X11Client(std::unique_ptr<TestClient> client) : client_(std::move(client)) {}
    pid_t pid() const override { return client_->pid(); }
    std::uint32_t window() const { return client_->windows().front(); }

private:
    std::unique_ptr<TestClient> client_;
};

class X11DesktopSession final : public DesktopSession {
public:
    explicit X11DesktopSession(std::unique_ptr<XSession> session)
        : DesktopSession(DesktopFamily::x11), session_(std::move(session)) {}

    std::string windowClass(const TestApp& testApp) const override { return "Korvane" + testApp.name; }

    std::unique_ptr<SessionApp> launch(const TestApp& testApp, const std::string& entryPath,
                                       std::string& why) override {
        auto options = ClientOptions::named(testApp.name, windowClass(testApp)).ofType("normal").launchedBy(entryPath);
        auto client = std::make_unique<TestClient>(*session_, options);
        if (!client->ready()) {
            why = testApp.name + ": the X11 test client did not map its window";
            return nullptr;
        }
        windows_[client->pid()] = client->windows().front();
        return std::make_unique<X11Client>(std::move(client));
    }

    bool activate(pid_t pid) override {
        return session_->run({"xdotool", "windowactivate", "--sync", std::to_string(windows_[pid])}).exitStatus == 0;
    }
    bool activateAtOnce(pid_t pid) override { return setActiveWindowProperty(*session_, windows_[pid]); }
    bool showNothing() override { return setActiveWindowProperty(*session_, 0); }

    Expected<std::unique_ptr<app::Workspace>, std::string> openWorkspace(
        MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) override {
        linux_platform::X11WorkspaceConfig x11{.display = session_->display(),
                                               .identity = std::move(config.identity),
                                               .locale = std::move(config.locale),
                                               .desktop = std::move(config.desktop),
                                               .ownPid = config.ownPid};
        auto opened = linux_platform::X11Workspace::open(loop, std::move(x11), units);
        if (!opened) return unexpected(opened.error());
        return std::unique_ptr<app::Workspace>(std::move(opened).value());
    }

    Environment environment() const override { return session_->environment(); }
    std::string log() const override { return {}; }
    bool screenshot(const std::string& path) const override { return session_->screenshot(path); }
    const XSession* x11() const override { return session_.get(); }

private:
    std::unique_ptr<XSession> session_;
    std::map<pid_t, std::uint32_t> windows_;
};

}  // namespace

std::unique_ptr<DesktopSession> startX11(std::string& why) {
    auto session = XSession::start(why);
    if (!session) return nullptr;
    return std::make_unique<X11DesktopSession>(std::move(session));
}

const char* familyName(DesktopFamily family) {
    switch (family) {
        case DesktopFamily::x11: return "X11";
        case DesktopFamily::sway: return "sway";
        case DesktopFamily::kwin: return "KWin";
        case DesktopFamily::gnome: return "GNOME";
    }
    return "?";
}

std::unique_ptr<DesktopSession> DesktopSession::start(DesktopFamily family, std::string& why, bool withPanel) {
    switch (family) {
        case DesktopFamily::x11: return startX11(why);
        case DesktopFamily::sway: return startSway(why);
        case DesktopFamily::kwin: return startKWin(withPanel, why);
        case DesktopFamily::gnome: return startGnome(why);
    }
    return nullptr;
}

}  // namespace korvane::testing
