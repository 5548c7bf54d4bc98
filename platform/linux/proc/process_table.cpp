#include "platform/linux/proc/process_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/linux/proc/proc_files.h"
#include "shared/process/process_stat.h"
#include "shared/util/utf8.h"

namespace korvane::linux_platform {
namespace {

// ps shows long command lines whole; this only bounds what one process can
// make us hold.
constexpr std::size_t kCommandLineLimit = 256 * 1024;

std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}


}  // namespace

std::string printableCommandLine(std::string_view raw) {
    std::string out;
    while (!raw.empty() && raw.back() == '\0') raw.remove_suffix(1);
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        auto byte = static_cast<unsigned char>(raw[i]);
        if (byte == 0) {
            out += ' ';
            ++i;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += '?';
            ++i;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
        } else {
            std::size_t length = sequenceLength(byte);
            std::string_view sequence = raw.substr(i, length);
            if (sequence.size() == length && isValidUtf8(sequence)) {
                out += sequence;
                i += length;
            } else {
                out += '?';
                ++i;
            }
        }
    }
    return out;
}

ProcessTable::ProcessTable(std::string procRoot) : root_(std::move(procRoot)) {}

std::size_t ProcessTable::commandLinesRead() const {
    std::lock_guard lock(mutex_);
    return commandLinesRead_;
}

Expected<std::vector<ProcessEntry>, std::string> ProcessTable::read() {
    std::lock_guard lock(mutex_);
    if (!folder_) {
        folder_.reset(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder_) return unexpected(root_ + ": " + std::strerror(errno));
    } else if (::lseek(folder_.get(), 0, SEEK_SET) != 0) {
        return unexpected(root_ + ": " + std::strerror(errno));
    }
    std::vector<std::uint64_t> inodes;
    std::vector<std::int32_t> pids = numericEntries(folder_.get(), &inodes);
    std::vector<std::size_t> order(pids.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return pids[a] < pids[b]; });

    commandLinesRead_ = 0;
    std::vector<ProcessEntry> entries;
    entries.reserve(pids.size());
    std::unordered_map<std::int32_t, Known> known;
    known.reserve(pids.size());
    char path[64];
    for (std::size_t index : order) {
        std::int32_t pid = pids[index];
        Known process;
        auto previous = known_.find(pid);
        if (previous != known_.end() && previous->second.inode == inodes[index]) {
            process = std::move(previous->second);
        } else {
            auto statText = readProcFileAt(folder_.get(), procPath(path, pid, "stat"), 4096);
            if (!statText) continue;  // gone meanwhile
            auto stat = parseProcessStat(*statText);
            if (!stat) continue;
            process = Known{inodes[index], stat->parent, stat->startTime, stat->isKernelThread(), {}, {}};
        }
        if (!process.kernelThread) {
            auto raw = readProcFileAt(folder_.get(), procPath(path, pid, "cmdline"), kCommandLineLimit);
            if (!raw) continue;  // gone meanwhile
            if (*raw != process.raw || (process.commandLine.empty() && !raw->empty())) {
                process.commandLine = printableCommandLine(*raw);
                process.raw = std::move(*raw);
                ++commandLinesRead_;
            }
        }
        entries.push_back({pid, process.parent, process.startTime, process.commandLine});
        known.emplace(pid, std::move(process));
    }
    // Only what this read saw is kept: ended processes are forgotten.
    known_ = std::move(known);
    return entries;
}

}  // namespace korvane::linux_platform
