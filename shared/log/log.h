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

// Writes lines as one block, in one write where the output allows it, so
// that a batch's lines cost one system call and stay together. Each line is
// still one event.
void writeLines(const std::vector<std::string>& lines);

// A sink that takes a block of lines in one call. While a line sink is set,
// it takes precedence.
using BlockSink = std::function<void(const std::vector<std::string_view>& lines)>;
void setBlockSink(BlockSink sink);

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
