#pragma once
// One line per event. Production writes to standard error (journald keeps it
// when we run as a service); tests install a capturing sink.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::log {

using Sink = std::function<void(std::string_view line)>;

// Writes one line through the current sink. Thread-safe.
void write(std::string_view line);

// Replaces the sink; an empty function restores standard error. Returns the
// previous sink.
Sink setSink(Sink sink);

// Collects every line written while it lives; restores the previous sink when
// it ends.
class CapturedLines {
public:
    CapturedLines();
    ~CapturedLines();
    CapturedLines(const CapturedLines&) = delete;
    CapturedLines& operator=(const CapturedLines&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view line) const;
    // Index of the first line equal to `line`, or -1.
    int indexOf(std::string_view line) const;
    // Number of lines that begin with `prefix`.
    int countStartingWith(std::string_view prefix) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    Sink previous_;
};

}  // namespace korvane::log
