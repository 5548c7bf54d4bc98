#include "shared/log/log.h"

#include <algorithm>
#include <cstdio>

namespace korvane::log {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

Sink& currentSink() {
    static Sink sink;
    return sink;
}

BlockSink& currentBlockSink() {
    static BlockSink sink;
    return sink;
}

void writeBlock(const std::vector<std::string_view>& lines) {
    std::lock_guard lock(sinkMutex());
    if (currentSink()) {
        for (auto line : lines) currentSink()(line);
        return;
    }
    if (currentBlockSink()) {
        currentBlockSink()(lines);
        return;
    }
    std::string text;
    for (auto line : lines) {
        text += line;
        text.push_back('\n');
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

void write(std::string_view line) { writeBlock({line}); }

void writeLines(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    writeBlock(std::vector<std::string_view>(lines.begin(), lines.end()));
}

void setBlockSink(BlockSink sink) {
    std::lock_guard lock(sinkMutex());
    currentBlockSink() = std::move(sink);
}

Sink setSink(Sink sink) {
    std::lock_guard lock(sinkMutex());
    Sink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

CapturedLines::CapturedLines() {
    previous_ = setSink([this](std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    });
}

CapturedLines::~CapturedLines() { setSink(std::move(previous_)); }

std::vector<std::string> CapturedLines::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool CapturedLines::contains(std::string_view line) const { return indexOf(line) >= 0; }

int CapturedLines::indexOf(std::string_view line) const {
    std::lock_guard lock(mutex_);
    auto it = std::find(lines_.begin(), lines_.end(), line);
    return it == lines_.end() ? -1 : static_cast<int>(it - lines_.begin());
}

int CapturedLines::countStartingWith(std::string_view prefix) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
        return std::string_view(l).substr(0, prefix.size()) == prefix;
    }));
}

void CapturedLines::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace korvane::log
