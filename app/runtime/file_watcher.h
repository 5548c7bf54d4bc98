#pragma once
// Notices when one file in a folder is written to completion or replaced by
// a rename (inotify on the folder, so editors that save by renaming are seen
// too). Partial writes, deletions and renames away are not reported: only a
// finished new version of the file is worth reading. The watching thread
// sleeps in poll() between events.
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "shared/util/expected.h"

namespace korvane::app {

class FileWatcher {
public:
    // `changed` runs on the watching thread.
    static Expected<std::unique_ptr<FileWatcher>, std::string> watch(const std::string& directory,
                                                                     const std::string& fileName,
                                                                     std::function<void()> changed);
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

private:
    FileWatcher(int inotifyFd, int stopFd, std::string fileName, std::function<void()> changed);
    void run();

    int inotifyFd_;
    int stopFd_;
    std::string fileName_;
    std::function<void()> changed_;
    std::thread thread_;
};

}  // namespace korvane::app
