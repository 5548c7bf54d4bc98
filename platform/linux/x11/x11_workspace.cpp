#include "platform/linux/x11/x11_workspace.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <unordered_map>

#include "app/runtime/app_log.h"
#include "platform/linux/sched/task_tree_reader.h"
#include "platform/linux/workspace/window_identity.h"
#include "platform/linux/x11/x11_display.h"

namespace korvane::linux_platform {

using app::RunningApplication;

namespace {

identity::DesktopSessionConfig withProcRoot(identity::DesktopSessionConfig config, const std::string& procRoot) {
    config.procRoot = procRoot;
    return config;
}

}  // namespace

// Owns the connection once the first read is done; everything here runs on
// the connection's thread.
class X11Workspace::Follower {
public:
    Follower(X11Workspace& owner, std::unique_ptr<X11Display> display, X11WorkspaceConfig config,
             identity::UnitLookup& units)
        : owner_(owner),
          display_(std::move(display)),
          ownPid_(config.ownPid),
          procRoot_(config.identity.procRoot),
          proc_(config.identity.procRoot),
          resolver_(std::move(config.identity), units),
          desktop_(withProcRoot(std::move(config.desktop), procRoot_)),
          identity_(resolver_, std::move(config.locale), &desktop_),
          wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    ~Follower() {
        for (auto& [key, fd] : pidfds_) {
            if (fd >= 0) ::close(fd);
        }
        if (wakeFd_ >= 0) ::close(wakeFd_);
    }

    // On the opening thread, before the connection's thread starts: what is
    // already there is the first snapshot, not a launch.
    void readInitialState() {
        Announcements ignored;
        readClientList();
        rebuild(ignored);
        readActiveWindow(ignored);
        publish({});
    }

    void run() {
        while (!stopping_) {
            DisplayChanges changes;
            display_->takeEvents(changes);
            if (changes.any()) {
                apply(changes);
                continue;
            }
            if (display_->broken()) {
                if (!stopping_) connectionLost();
                return;
            }
            std::vector<pollfd> watched{{display_->fileDescriptor(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            std::vector<AppKey> watchedKeys;
            for (const auto& [key, fd] : pidfds_) {
                if (fd < 0) continue;
                watched.push_back({fd, POLLIN, 0});
                watchedKeys.push_back(key);
            }
            if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR) {
                app::logLine("X11 workspace: waiting for the X server failed (errno " + std::to_string(errno) + ")");
                return;
            }
            bool anyEnded = false;
            for (std::size_t i = 2; i < watched.size(); ++i) {
                if (watched[i].revents == 0) continue;
                ended_.insert(watchedKeys[i - 2]);
                anyEnded = true;
            }
            if (anyEnded) {
                Announcements announcements;
                rebuild(announcements);
                publish(std::move(announcements));
            }
        }
    }

    // Any thread. The connection is cut as well: a server that does not
    // answer (one grabbed by another client) must not hold the owner's end.
    void stop() {
        stopping_ = true;
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
        display_->cut();
    }

private:
    using Announcements = std::vector<std::pair<Announcement, RunningApplication>>;

    void apply(const DisplayChanges& changes) {
        Announcements announcements;
        if (changes.clientList) readClientList();
        std::vector<std::uint32_t> changed;
        for (std::uint32_t window : changes.windows) {
            if (windows_.contains(window)) changed.push_back(window);
        }
        if (!changed.empty()) {
            for (auto& facts : display_->readWindows(changed)) {
                settleProcess(facts);
                windows_[facts.window] = std::move(facts);
            }
        }
        if (changes.clientList || !changed.empty()) rebuild(announcements);
        if (changes.activeWindow) readActiveWindow(announcements);
        publish(std::move(announcements));
    }

    // _NET_WM_PID is the client's own word. A client in a pid namespace of
    // its own (a Flatpak sandbox) writes a pid of that namespace, which here
    // names some other process, often a kernel thread; the server's view of
    // the connection then speaks instead. A pid with no process behind it
    // makes no application.
    void settleProcess(WindowFacts& facts) {
        std::vector<pid_t> candidates{facts.pid, facts.connectionPid};
        if (facts.connectionPid > 0 && facts.connectionPid != facts.pid && !inOurPidNamespace(facts.connectionPid)) {
            std::swap(candidates[0], candidates[1]);
        }
        facts.pid = 0;
        for (pid_t candidate : candidates) {
            if (candidate <= 0) continue;
            auto stat = proc_.stat(candidate);
            if (!stat || stat->isKernelThread()) continue;
            facts.pid = candidate;
            facts.startTime = stat->startTime;
            return;
        }
    }

    bool inOurPidNamespace(pid_t pid) const {
        auto namespaceOf = [this](const std::string& process) {
            char target[128];
            ssize_t length = ::readlink((procRoot_ + "/" + process + "/ns/pid").c_str(), target, sizeof target);
            return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
        };
        std::string theirs = namespaceOf(std::to_string(pid));
        return theirs.empty() || theirs == namespaceOf("self");
    }

    void readClientList() {
        order_ = display_->clientList();
        std::unordered_map<std::uint32_t, WindowFacts> kept;
        std::vector<std::uint32_t> added;
        for (std::uint32_t window : order_) {
            auto it = windows_.find(window);
            if (it != windows_.end()) kept.emplace(window, std::move(it->second));
            else if (!kept.contains(window)) added.push_back(window);
        }
        windows_ = std::move(kept);
        for (auto& facts : display_->readWindows(added)) {
            settleProcess(facts);
            windows_.emplace(facts.window, std::move(facts));
        }
    }

    // Opens a descriptor that reports the end of the process; false when it
    // has already ended (or its pid already names another process).
    bool watchProcess(AppKey key) {
        int fd = static_cast<int>(::syscall(SYS_pidfd_open, key.pid, 0));
        if (fd < 0 && errno == ESRCH) return false;
        auto stat = proc_.stat(key.pid);
        if (!stat || stat->startTime != key.startTime) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        // Without pidfds (old kernels) the windows leaving the list tell.
        pidfds_[key] = fd;
        return true;
    }

    void unwatchProcess(AppKey key) {
        auto it = pidfds_.find(key);
        if (it == pidfds_.end()) return;
        if (it->second >= 0) ::close(it->second);
        pidfds_.erase(it);
    }

    void rebuild(Announcements& announcements) {
        identity_.refresh();
        std::vector<const WindowFacts*> ordered;
        for (std::uint32_t window : order_) {
            auto it = windows_.find(window);
            if (it != windows_.end()) ordered.push_back(&it->second);
        }
        // Forget ended processes whose windows are all gone: the set only
        // keeps their lingering windows out.
        std::erase_if(ended_, [&](const AppKey& key) {
            return std::none_of(ordered.begin(), ordered.end(), [&](const WindowFacts* w) {
                return w->pid == key.pid && w->startTime == key.startTime;
            });
        });

        std::vector<WindowGroup> groups;
        for (bool settled = false; !settled;) {
            groups = groupWindows(ordered, ownPid_, ended_);
            settled = true;
            for (const auto& group : groups) {
                if (records_.contains(group.key) || watchProcess(group.key)) continue;
                ended_.insert(group.key);
                settled = false;
            }
        }

        std::map<AppKey, RunningApplication> records;
        std::vector<AppKey> order;
        for (const auto& group : groups) {
            records.emplace(group.key, identity_.recordOf(group));
            order.push_back(group.key);
            if (!records_.contains(group.key)) announcements.emplace_back(Announcement::launch, records[group.key]);
        }
        for (auto& [key, record] : records_) {
            if (records.contains(key)) continue;
            announcements.emplace_back(Announcement::termination, std::move(record));
            identity_.forget(key);
            unwatchProcess(key);
        }
        records_ = std::move(records);
        order_apps_ = std::move(order);
        groups_ = std::move(groups);
        if (front_ && !records_.contains(*front_)) front_.reset();
        // The window manager may name the active window before it lists it.
        if (activeWindow_ != 0) takeFront(ownerOf(groups_, activeWindow_), announcements);
    }

    void readActiveWindow(Announcements& announcements) {
        auto active = display_->activeWindow();
        if (!active) return;
        activeWindow_ = *active;
        // Our own windows coming to the front neither engage nor release.
        if (auto it = windows_.find(activeWindow_); it != windows_.end() && it->second.pid == ownPid_) return;
        // None, the desktop, a panel, or a window not listed yet: nothing in
        // front for now. Window managers pass through none between two
        // windows; the focus engine decides when it has lasted.
        auto owner = activeWindow_ == 0 ? std::nullopt : ownerOf(groups_, activeWindow_);
        if (owner) takeFront(owner, announcements);
        else clearFront(announcements);
    }

    void takeFront(std::optional<AppKey> owner, Announcements& announcements) {
        if (!owner || owner == front_) return;
        front_ = owner;
        frontCleared_ = false;
        announcements.emplace_back(Announcement::activation, records_.at(*owner));
    }

    void clearFront(Announcements& announcements) {
        if (frontCleared_) return;
        front_.reset();
        frontCleared_ = true;
        announcements.emplace_back(Announcement::frontCleared, RunningApplication{});
    }

    void publish(Announcements announcements) {
        std::vector<RunningApplication> apps;
        apps.reserve(order_apps_.size());
        for (const auto& key : order_apps_) apps.push_back(records_.at(key));
        std::optional<RunningApplication> front;
        if (front_) front = records_.at(*front_);
        owner_.publish(std::move(apps), std::move(front), std::move(announcements));
    }

    void connectionLost() {
        app::logLine("X11 workspace: the connection to the X server was lost; no applications are listed any more");
        Announcements announcements;
        for (auto& key : order_apps_) announcements.emplace_back(Announcement::termination, records_.at(key));
        records_.clear();
        order_apps_.clear();
        groups_.clear();
        front_.reset();
        publish(std::move(announcements));
    }

    X11Workspace& owner_;
    std::unique_ptr<X11Display> display_;
    pid_t ownPid_;
    std::string procRoot_;
    TaskTreeReader proc_;
    identity::IdentityResolver resolver_;
    identity::DesktopSession desktop_;
    WindowIdentity identity_;
    int wakeFd_;
    std::atomic<bool> stopping_{false};

    std::vector<std::uint32_t> order_;  // the client list
    std::unordered_map<std::uint32_t, WindowFacts> windows_;
    std::vector<WindowGroup> groups_;  // points into windows_
    std::map<AppKey, RunningApplication> records_;
    std::vector<AppKey> order_apps_;
    std::set<AppKey> ended_;
    std::map<AppKey, int> pidfds_;
    std::optional<AppKey> front_;
    bool frontCleared_ = false;  // announced as nothing in front since the last activation
    std::uint32_t activeWindow_ = 0;
};

X11Workspace::X11Workspace(MainLoop& loop) : lifeline_(app::Lifeline::make(loop)) {}

Expected<std::unique_ptr<X11Workspace>, std::string> X11Workspace::open(MainLoop& loop, X11WorkspaceConfig config,
                                                                        identity::UnitLookup& units) {
    auto display = X11Display::connect(config.display);
    if (!display) return unexpected(display.error());
    std::unique_ptr<X11Workspace> workspace(new X11Workspace(loop));
    workspace->follower_ = std::make_unique<Follower>(*workspace, std::move(*display), std::move(config), units);
    workspace->follower_->readInitialState();
    workspace->thread_ = std::thread([follower = workspace->follower_.get()] { follower->run(); });
    return workspace;
}

X11Workspace::~X11Workspace() {
    follower_->stop();
    thread_.join();
    lifeline_->close();
}

void X11Workspace::publish(std::vector<RunningApplication> apps, std::optional<RunningApplication> front,
                           std::vector<std::pair<Announcement, RunningApplication>> announcements) {
    {
        std::lock_guard lock(mutex_);
        apps_ = std::move(apps);
        front_ = std::move(front);
    }
    for (auto& [kind, app] : announcements) {
        lifeline_->post([this, kind = kind, app = std::move(app)] {
            switch (kind) {
                case Announcement::launch: launched_.send(app); break;
                case Announcement::termination: terminated_.send(app); break;
                case Announcement::activation: activated_.send(app); break;
                case Announcement::frontCleared: cleared_.send(Done{}); break;
            }
        });
    }
}

std::vector<RunningApplication> X11Workspace::runningApplications() const {
    std::lock_guard lock(mutex_);
    return apps_;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const {
    std::lock_guard lock(mutex_);
    return front_;
}

app::Subscription X11Workspace::observeLaunch(AppObserver observer) { return launched_.subscribe(std::move(observer)); }

app::Subscription X11Workspace::observeTermination(AppObserver observer) {
    return terminated_.subscribe(std::move(observer));
}

app::Subscription X11Workspace::observeActivation(AppObserver observer) {
    return activated_.subscribe(std::move(observer));
}

app::Subscription X11Workspace::observeFrontCleared(std::function<void()> observer) {
    return cleared_.subscribe([observer = std::move(observer)](const Done&) { observer(); });
}

}  // namespace korvane::linux_platform
