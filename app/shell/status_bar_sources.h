#pragma once
// What the status bar controller observes, as bindings to published values
// rather than to the managers themselves, so the controller needs neither the
// focus engine nor the core monitor to be built: bootstrapApp binds them to
// AutoFocusManager and CoreVisualizerViewModel in a few lines.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/focus/workspace.h"
#include "app/monitors/core_usage.h"
#include "app/runtime/published.h"
#include "app/runtime/publisher.h"

namespace korvane::app {

// A value's changes (current value first) and a way to read it now.
template <class T>
struct Binding {
    Publisher<T> changes;
    std::function<T()> current;

    static Binding of(const Published<T>& published) {
        return Binding{published.publisher(), [&published] { return published.get(); }};
    }
    // A value that never changes, for sources that are not there.
    static Binding constant(T value) {
        return Binding{Publisher<T>([value](typename Publisher<T>::Observer observer) {
                           observer(value);
                           return Subscription();
                       }),
                       [value] { return value; }};
    }
};

struct StatusBarSources {
    // AutoFocusManager
    Binding<bool> autoFocusActive;
    Binding<std::optional<AppIcon>> focusedAppIcon;
    Binding<std::string> focusedAppName;  // for the tooltip
    // CoreVisualizerViewModel
    Binding<std::vector<CoreUsage>> pCoreUsages;
    std::function<std::vector<CoreUsage>()> eCoreUsages;
    std::function<double()> averagePCoreUsage;
    std::function<void(double intervalSeconds)> startMonitoring;
    std::function<void()> stopMonitoring;

    // Sources for a shell with neither manager: idle, no cores.
    static StatusBarSources idle();
};

inline StatusBarSources StatusBarSources::idle() {
    return StatusBarSources{Binding<bool>::constant(false),
                            Binding<std::optional<AppIcon>>::constant(std::nullopt),
                            Binding<std::string>::constant(std::string()),
                            Binding<std::vector<CoreUsage>>::constant({}),
                            [] { return std::vector<CoreUsage>(); },
                            [] { return 0.0; },
                            [](double) {},
                            [] {}};
}

}  // namespace korvane::app
