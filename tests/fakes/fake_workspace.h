#pragma once
// A desktop for the focus engine's tests: the test decides which
// applications run and which one is in front, and every announcement reaches
// the observers as a main-loop task of its own, as the X11 adapter posts it.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/focus/workspace.h"
#include "app/runtime/subject.h"
#include "shared/mainloop/main_loop.h"
#include "shared/util/expected.h"

namespace korvane::testing {

class FakeWorkspace final : public app::Workspace {
public:
    using App = app::RunningApplication;

    explicit FakeWorkspace(MainLoop& loop) : loop_(loop) {}

    static App regular(std::int32_t pid, std::optional<std::string> name, std::optional<std::string> bundleID = {}) {
        App app;
        app.processIdentifier = pid;
        app.localizedName = std::move(name);
        app.bundleIdentifier = std::move(bundleID);
        return app;
    }
    static App withPolicy(App app, app::ActivationPolicy policy) {
        app.activationPolicy = policy;
        return app;
    }

    std::vector<App> runningApplications() const override { return apps_; }
    std::optional<App> frontmostApplication() const override {
        if (!front_) return std::nullopt;
        return find(*front_);
    }
    app::Subscription observeLaunch(AppObserver observer) override { return launches_.subscribe(std::move(observer)); }
    app::Subscription observeTermination(AppObserver observer) override {
        return terminations_.subscribe(std::move(observer));
    }
    app::Subscription observeActivation(AppObserver observer) override {
        return activations_.subscribe(std::move(observer));
    }
    app::Subscription observeFrontCleared(std::function<void()> observer) override {
        return cleared_.subscribe([observer = std::move(observer)](const Done&) { observer(); });
    }

    // Silently, as if it ran before anyone looked.
    void add(App app) { apps_.push_back(std::move(app)); }
    void setFront(std::optional<std::int32_t> pid) { front_ = pid; }

    void launch(App app) {
        apps_.push_back(app);
        announce(launches_, std::move(app));
    }
    void terminate(std::int32_t pid) {
        auto app = find(pid);
        if (!app) return;
        std::erase_if(apps_, [&](const App& a) { return a.processIdentifier == pid; });
        if (front_ == pid) front_.reset();
        announce(terminations_, std::move(*app));
    }
    void activate(std::int32_t pid) {
        auto app = find(pid);
        if (!app) return;
        front_ = pid;
        announce(activations_, std::move(*app));
    }

    std::string blindSpot() const override { return blindSpot_; }
    app::Subscription observeBlindSpot(TextObserver observer) override {
        return blindSpotChanged_.subscribe(std::move(observer));
    }
    void setBlindSpot(std::string text) {
        blindSpot_ = text;
        loop_.post([this, text = std::move(text)] { blindSpotChanged_.send(text); });
    }

    // A click on the bare desktop: nothing in front.
    void clearFront() {
        front_.reset();
        loop_.post([this] { cleared_.send(Done{}); });
    }

private:
    std::optional<App> find(std::int32_t pid) const {
        auto it = std::find_if(apps_.begin(), apps_.end(), [&](const App& a) { return a.processIdentifier == pid; });
        if (it == apps_.end()) return std::nullopt;
        return *it;
    }
    void announce(const app::Subject<App>& subject, App app) {
        loop_.post([&subject, app = std::move(app)] { subject.send(app); });
    }

    MainLoop& loop_;
    std::vector<App> apps_;
    std::optional<std::int32_t> front_;
    app::Subject<App> launches_;
    app::Subject<App> terminations_;
    app::Subject<App> activations_;
    std::string blindSpot_;
    app::Subject<std::string> blindSpotChanged_;
    app::Subject<Done> cleared_;
};

}  // namespace korvane::testing
