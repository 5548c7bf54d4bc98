#pragma once
// How one Korvane per user is kept: the first becomes the running instance;
// a later one asks it to toggle its popover and ends. The shell owns this
// interface; the session bus and a per-user socket implement it.
#include <functional>

namespace korvane::app {

class AppInstance {
public:
    enum class Claim { primary, anotherIsRunning, unavailable };

    virtual ~AppInstance() = default;

    // Tries to become the running instance; `onToggle` then runs (on the
    // main thread) whenever another start asks.
    virtual Claim claim(std::function<void()> onToggle) = 0;

    // Asks a running instance to toggle its popover. True when one answered.
    virtual bool requestToggle() = 0;
};

}  // namespace korvane::app
