#include "app/runtime/file_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace korvane::app {

Expected<std::unique_ptr<FileWatcher>, std::string> FileWatcher::watch(const std::string& directory,
                                                                       const std::string& fileName,
                                                                       std::function<void()> changed) {
    int inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (inotifyFd < 0) return unexpected(std::string("inotify: ") + std::strerror(errno));
    if (::inotify_add_watch(inotifyFd, directory.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        std::string why = "cannot watch " + directory + ": " + std::strerror(errno);
        ::close(inotifyFd);
        return unexpected(why);
    }
    int stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd < 0) {
        std::string why = std::string("eventfd: ") + std::strerror(errno);
        ::close(inotifyFd);
        return unexpected(why);
    }
    return std::unique_ptr<FileWatcher>(new FileWatcher(inotifyFd, stopFd, fileName, std::move(changed)));
}

FileWatcher::FileWatcher(int inotifyFd, int stopFd, std::string fileName, std::function<void()> changed)
    : inotifyFd_(inotifyFd), stopFd_(stopFd), fileName_(std::move(fileName)), changed_(std::move(changed)) {
    thread_ = std::thread([this] { run(); });
}

FileWatcher::~FileWatcher() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(stopFd_, &one, sizeof one);
    thread_.join();
    ::close(inotifyFd_);
    ::close(stopFd_);
}

void FileWatcher::run() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        bool ours = false;
        for (;;) {
            ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
            if (n <= 0) break;  // drained (EAGAIN) or failed; poll tells us again
            for (char* at = buffer; at < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                if (event->len > 0 && fileName_ == event->name) ours = true;
                if (event->mask & IN_Q_OVERFLOW) ours = true;  // events were lost: look anyway
                at += sizeof(inotify_event) + event->len;
            }
        }
        if (ours) changed_();
    }
}

}  // namespace korvane::app
