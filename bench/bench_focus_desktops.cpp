// Auto-Focus on each desktop family, side by side in one run: X11 (Xvfb with
// openbox), sway, KWin and GNOME Shell headless, each with the same three
// real clients, the managers on the application's Qt loop and the helper as
// installed: its own policy in-process and its records on a tmpfs (/dev/shm
// here, /run on an installed system).
//
// - Front change to the helper's reply: the clock starts when the desktop
//   reports the change and stops when Auto-Focus reports itself engaged,
//   which it does once the helper has answered. X11: just before the root
//   window's _NET_ACTIVE_WINDOW is set. sway: when a second IPC connection
//   hears the window event. KWin and GNOME Shell: when dbus-monitor sees the
//   script's report or the extension's signal pass on the bus.
// - Wake-ups while nothing changes: context switches of this process over
//   5 s with the desktop idle, Auto-Focus on.
// - Memory: this process's resident growth from opening the workspace until
//   it listed the three applications.
// - Recovery: from a new KWin (after kwin_wayland --replace) or the
//   re-enabled extension taking its name on the bus until the workspace
//   hears from it again.
#include <poll.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/linux/socket/unix_socket.h"
#include "platform/linux/sway/i3_ipc.h"
#include "shared/log/log.h"
#include "tests/desktops/desktop_sessions.h"
#include "tests/focus_e2e/focus_desktop.h"

using namespace korvane;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kWarmUp = 3;
constexpr int kRounds = 20;

double median(std::vector<double> samples) {
    if (samples.empty()) return -1;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// When the desktop last reported a change of the front, on the steady clock.
class FrontWatch {
public:
    virtual ~FrontWatch() = default;
    virtual std::optional<Clock::time_point> lastBefore(Clock::time_point limit) = 0;
};

// sway: a connection of our own, subscribed to window events.
class SwayWatch final : public FrontWatch {
public:
    explicit SwayWatch(const std::string& socketPath) {
        auto socket = linux_platform::connectUnix(socketPath);
        if (!socket) return;
        socket_ = std::move(socket).value();
        namespace i3ipc = linux_platform::i3ipc;
        linux_platform::writeAll(socket_.get(), i3ipc::encode(i3ipc::kSubscribe, R"(["window"])"));
        thread_ = std::thread([this] { run(); });
    }
    ~SwayWatch() override {
        ::shutdown(socket_.get(), SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
    }
    std::optional<Clock::time_point> lastBefore(Clock::time_point limit) override {
        std::lock_guard lock(mutex_);
        std::optional<Clock::time_point> found;
        for (auto at : seen_) {
            if (at <= limit) found = at;
        }
        return found;
    }

private:
    void run() {
        linux_platform::i3ipc::Decoder decoder(1 << 24);
        char buffer[65536];
        for (ssize_t got; (got = ::recv(socket_.get(), buffer, sizeof buffer, 0)) > 0;) {
            const auto at = Clock::now();
            decoder.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
            linux_platform::i3ipc::Message message;
            while (decoder.next(message) == linux_platform::i3ipc::Decoder::Next::message) {
                if (message.type == linux_platform::i3ipc::kWindowEvent &&
                    message.payload.find(R"("change": "focus")") != std::string::npos) {
                    std::lock_guard lock(mutex_);
                    seen_.push_back(at);
                }
            }
        }
    }
    OwnedFd socket_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Clock::time_point> seen_;
};

// KWin and GNOME Shell: dbus-monitor's own timestamps of the messages that
// match `rules` (by default the script's reports and the extension's signals).
class BusWatch final : public FrontWatch {
public:
    static constexpr const char* kReports =
        "\"type='method_call',interface='com.korvane.app.Workspace'\" "
        "\"type='signal',interface='com.korvane.ShellWorkspace'\"";

    BusWatch(const std::string& address, const std::string& file, const std::string& rules = kReports) : file_(file) {
        program_ = std::make_unique<testing::StartedProgram>(std::vector<std::string>{
            "/bin/sh", "-c",
            "exec stdbuf -oL dbus-monitor --address '" + address + "' --profile " + rules + " > '" + file_ + "'"});
        std::this_thread::sleep_for(300ms);
    }
    std::optional<Clock::time_point> lastBefore(Clock::time_point limit) override {
        // dbus-monitor stamps with the wall clock.
        const auto wallOffset = std::chrono::system_clock::now().time_since_epoch() - Clock::now().time_since_epoch();
        std::optional<Clock::time_point> found;
        std::ifstream lines(file_);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string kind;
            double seconds = 0;
            if (!(fields >> kind >> seconds) || (kind != "mc" && kind != "sig")) continue;
            auto at = Clock::time_point(std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(seconds) - wallOffset));
            if (at <= limit) found = at;
        }
        return found;
    }

private:
    std::string file_;
    std::unique_ptr<testing::StartedProgram> program_;
};

long contextSwitches() {
    long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:")) {
                total += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    return total;
}

struct Figures {
    double toAnnouncement = -1, toReply = -1;
    long idleWakeUps = -1;
    long workspaceKiB = -1;
    double recoveryMs = -1;
    std::string note;
};

Figures measure(testing::DesktopFamily family) {
    Figures figures;
    std::string why;
    std::string records = "/dev/shm/korvane-bench-XXXXXX";
    if (::mkdtemp(records.data()) == nullptr) records.clear();
    struct Remove {
        std::string folder;
        ~Remove() {
            std::error_code ignored;
            if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
        }
    } removeRecords{records};
    auto desktop = testing::FocusDesktop::start(family, why, records);
    if (!desktop) {
        figures.note = why.substr(0, why.find('\n'));
        return figures;
    }
    figures.workspaceKiB = desktop->workspaceKiB();
    auto& session = desktop->session();
    std::unique_ptr<FrontWatch> watch;
    if (family == testing::DesktopFamily::sway) {
        for (const auto& [name, value] : session.environment()) {
            if (name == "SWAYSOCK") watch = std::make_unique<SwayWatch>(value);
        }
    } else if (family != testing::DesktopFamily::x11) {
        auto& wayland = static_cast<testing::WaylandSession&>(session);
        watch = std::make_unique<BusWatch>(wayland.busAddress(), wayland.runtimeDir() + "/reports.txt");
    }

    desktop->activate(desktop->browser);
    desktop->loop.call([&] {
        desktop->autoFocus().addTarget(desktop->editor.name, desktop->editor.bundleID);
        desktop->autoFocus().isEnabled = true;
    });
    auto engagedAt = std::make_shared<std::atomic<Clock::rep>>(0);
    auto announcedAt = std::make_shared<std::atomic<Clock::rep>>(0);
    auto kept = desktop->loop.call([&] {
        std::vector<std::shared_ptr<app::Subscription>> subscriptions;
        subscriptions.push_back(std::make_shared<app::Subscription>(
            desktop->autoFocus().autoFocusActive.observe([engagedAt](bool on) {
                if (on) engagedAt->store(Clock::now().time_since_epoch().count());
            })));
        subscriptions.push_back(std::make_shared<app::Subscription>(
            desktop->workspace().observeActivation([announcedAt](const app::RunningApplication&) {
                announcedAt->store(Clock::now().time_since_epoch().count());
            })));
        return subscriptions;
    });
    auto active = [&] { return desktop->loop.call([&] { return desktop->autoFocus().autoFocusActive.get(); }); };
    auto at = [](const std::atomic<Clock::rep>& value) { return Clock::time_point(Clock::duration(value.load())); };
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };

    // Each round's request, announcement and reply; the desktop's own
    // report of the change is looked up once all rounds are done.
    struct Round {
        Clock::time_point requested, announced, engaged;
    };
    std::vector<Round> rounds;
    for (int round = 0; round < kWarmUp + kRounds; ++round) {
        engagedAt->store(0);
        announcedAt->store(0);
        const auto requested = Clock::now();
        // X11: the root window's property, straight (the workspace's own
        // latency); the others through the desktop.
        const bool x11 = family == testing::DesktopFamily::x11;
        const bool changed = x11 ? desktop->setActiveWindow(desktop->editor) : desktop->activate(desktop->editor);
        if (!changed || !testing::waitUntil([&] { return engagedAt->load() != 0; }, 5s)) {
            figures.note = "a round did not complete";
            break;
        }
        if (round >= kWarmUp) rounds.push_back({requested, at(*announcedAt), at(*engagedAt)});
        if (x11) desktop->setActiveWindow(desktop->browser);
        else desktop->activate(desktop->browser);
        testing::waitUntil([&] { return !active(); }, 5s);
    }
    std::this_thread::sleep_for(500ms);
    std::vector<double> announced, answered;
    for (const auto& round : rounds) {
        // The watcher hears the report at about the moment the workspace
        // does, sometimes a little later.
        const auto front =
            watch ? watch->lastBefore(round.announced + 2ms).value_or(round.requested) : round.requested;
        announced.push_back(ms(round.announced - front));
        answered.push_back(ms(round.engaged - front));
    }
    figures.toAnnouncement = median(announced);
    figures.toReply = median(answered);

    std::this_thread::sleep_for(1s);
    const long before = contextSwitches();
    std::this_thread::sleep_for(5s);
    figures.idleWakeUps = contextSwitches() - before;

    // Recovery: from the moment the new KWin (or the extension) takes its
    // name on the bus until the workspace hears from it, which clears its
    // blind spot. Three times each, the median.
    if (family == testing::DesktopFamily::kwin || family == testing::DesktopFamily::gnome) {
        auto& wayland = static_cast<testing::WaylandSession&>(session);
        const bool kwin = family == testing::DesktopFamily::kwin;
        auto seeingAgain = std::make_shared<std::atomic<Clock::rep>>(0);
        auto watching = desktop->loop.call([&] {
            return std::make_shared<app::Subscription>(
                desktop->workspace().observeBlindSpot([seeingAgain](const std::string& text) {
                    if (text.empty()) seeingAgain->store(Clock::now().time_since_epoch().count());
                }));
        });
        BusWatch owners(wayland.busAddress(), wayland.runtimeDir() + "/owners.txt",
                        std::string("\"type='signal',member='NameOwnerChanged',arg0='") +
                            (kwin ? "org.kde.KWin" : "com.korvane.ShellWorkspace") + "'\"");
        std::vector<double> recoveries;
        for (int round = 0; round < 3; ++round) {
            seeingAgain->store(0);
            const bool away = kwin ? testing::restartKWin(session, /*crash=*/false, why)
                                   : testing::setGnomeExtensionEnabled(session, false) && testing::waitUntil([&] {
                                         return !desktop->loop.call([&] { return desktop->workspace().blindSpot(); })
                                                     .empty();
                                     }) && testing::setGnomeExtensionEnabled(session, true);
            if (!away || !testing::waitUntil([&] { return seeingAgain->load() != 0; }, 10s)) {
                figures.note = "the workspace did not recover within 10 s";
                break;
            }
            const auto recovered = at(*seeingAgain);
            if (auto named = owners.lastBefore(recovered)) recoveries.push_back(ms(recovered - *named));
        }
        figures.recoveryMs = median(recoveries);
        desktop->loop.call([&] { watching.reset(); });
    }
    desktop->loop.call([&] { kept.clear(); });
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    log::CapturedLines quiet;  // the managers' log lines, kept out of the figures
    const std::vector<testing::DesktopFamily> families{testing::DesktopFamily::x11, testing::DesktopFamily::sway,
                                                       testing::DesktopFamily::kwin, testing::DesktopFamily::gnome};
    std::map<testing::DesktopFamily, Figures> figures;
    for (auto family : families) figures[family] = measure(family);

    auto cell = [](double value, const char* unit) {
        char text[32];
        if (value < 0) std::snprintf(text, sizeof text, "-");
        else std::snprintf(text, sizeof text, "%.1f %s", value, unit);
        return std::string(text);
    };
    std::printf("Auto-Focus on each desktop (%d rounds, medians; 3 real clients, the helper as built)\n", kRounds);
    std::printf("%-44s", "What");
    for (auto family : families) std::printf(" %12s", testing::familyName(family));
    std::printf(" %12s\n", "Goal");
    auto row = [&](const char* what, auto value, const char* goal) {
        std::printf("%-44s", what);
        for (auto family : families) std::printf(" %12s", value(figures[family]).c_str());
        std::printf(" %12s\n", goal);
    };
    row("front change to the workspace's announcement",
        [&](const Figures& f) { return cell(f.toAnnouncement, "ms"); }, "");
    row("front change to the helper's reply", [&](const Figures& f) { return cell(f.toReply, "ms"); }, "<= 20 ms");
    row("wake-ups of the process in 5 s idle",
        [&](const Figures& f) { return cell(static_cast<double>(f.idleWakeUps), ""); }, "0 added");
    row("memory of the workspace (RSS growth)",
        [&](const Figures& f) { return cell(f.workspaceKiB < 0 ? -1 : f.workspaceKiB / 1024.0, "MiB"); }, "<= 2 MiB");
    row("recovery (KWin replaced, extension on again)", [&](const Figures& f) { return cell(f.recoveryMs, "ms"); },
        "<= 2000 ms");
    for (auto family : families) {
        const std::string& note = figures[family].note;
        if (!note.empty()) std::printf("%s: %s\n", testing::familyName(family), note.c_str());
    }
    return 0;
}
