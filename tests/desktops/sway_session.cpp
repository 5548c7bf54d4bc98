// sway, headless, as the desktop's user, with Xwayland started at once.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "platform/linux/sway/sway_workspace.h"
#include "tests/desktops/desktop_sessions.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;

void collectPids(const nlohmann::json& node, std::set<pid_t>& pids) {
    if (!node.is_object()) return;
    if (auto pid = node.find("pid"); pid != node.end() && pid->is_number_integer()) pids.insert(pid->get<pid_t>());
    for (const char* children : {"nodes", "floating_nodes"}) {
        if (auto list = node.find(children); list != node.end() && list->is_array()) {
            for (const auto& child : *list) collectPids(child, pids);
        }
    }
}

class SwaySession final : public WaylandSession {
public:
    explicit SwaySession(std::string& why) : WaylandSession(DesktopFamily::sway, /*asRoot=*/false, why) {
        if (!why.empty()) return;
        const std::string config = runtime_ + "/sway.conf";
        // The bar with its tray, for the tray tests.
        std::ofstream(config) << "output * bg #303040 solid_color\nxwayland force\n"
                              << "bar {\n  status_command while true; do sleep 3600; done\n  tray_output *\n}\n";
        ::chown(config.c_str(), uid_, gid_);
        const Environment headless{{"WLR_BACKENDS", "headless"},
                                   {"WLR_RENDERER", "pixman"},
                                   {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                   {"WLR_HEADLESS_OUTPUTS", "1"}};
        auto ready = [&] {
            for (const auto& entry : fs::directory_iterator(runtime_)) {
                std::string name = entry.path().filename().string();
                if (name.starts_with("sway-ipc.")) socket_ = entry.path().string();
                if (name.starts_with("wayland-") && !name.ends_with(".lock")) waylandDisplay_ = name;
            }
            return !socket_.empty() && !waylandDisplay_.empty();
        };
        if (startCompositor({findProgram("sway"), "-c", config}, headless, ready, why)) findXwayland(why);
    }

    bool activate(pid_t pid) override { return swaymsg({"[pid=" + std::to_string(pid) + "] focus"}); }

    // An empty workspace of its own.
    bool showNothing() override { return swaymsg({"workspace", "korvane-empty"}); }

    Expected<std::unique_ptr<app::Workspace>, std::string> openWorkspace(
        MainLoop& loop, linux_platform::TrackerConfig config, identity::UnitLookup& units) override {
        auto opened =
            linux_platform::SwayWorkspace::open(loop, {.socketPath = socket_, .tracker = std::move(config)}, units);
        if (!opened) return unexpected(opened.error());
        return std::unique_ptr<app::Workspace>(std::move(opened).value());
    }

    Environment environment() const override {
        Environment environment = WaylandSession::environment();
        if (!socket_.empty()) environment.emplace_back("SWAYSOCK", socket_);
        return environment;
    }

    // grim writes as the desktop's user, into its own folder.
    bool screenshot(const std::string& path) const override {
        const std::string own = runtime_ + "/screenshot.png";
        std::error_code error;
        return run({"grim", own}).exitStatus == 0 &&
               fs::copy_file(own, path, fs::copy_options::overwrite_existing, error) && !error;
    }

private:
    bool swaymsg(std::vector<std::string> command) {
        command.insert(command.begin(), {"swaymsg", "-s", socket_});
        return run(command).exitStatus == 0;
    }

    std::set<pid_t> listedPids() override {
        std::set<pid_t> pids;
        collectPids(nlohmann::json::parse(run({"swaymsg", "-s", socket_, "-r", "-t", "get_tree"}).out, nullptr, false),
                    pids);
        return pids;
    }

    std::string socket_;
};

}  // namespace

std::unique_ptr<DesktopSession> startSway(std::string& why) { return startedOrNothing<SwaySession>(why); }

}  // namespace korvane::testing
