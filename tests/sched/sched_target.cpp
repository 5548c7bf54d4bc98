// A process for the background-policy tests to change: THREADS threads in
// all, and with CHILD_THREADS a child process with that many threads of its
// own. Prints "ready" once everything runs; each "thread" line on standard
// input starts one more thread and prints its id. Ends at end of input.
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

void startIdleThread(int* reportTo = nullptr) {
    int report[2];
    if (::pipe(report) != 0) std::exit(2);
    std::thread([fd = report[1]] {
        pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
        if (::write(fd, &tid, sizeof tid) != sizeof tid) std::exit(2);
        ::close(fd);
        for (;;) ::pause();
    }).detach();
    pid_t tid = 0;
    if (::read(report[0], &tid, sizeof tid) != sizeof tid) std::exit(2);
    ::close(report[0]);
    if (reportTo) *reportTo = tid;
}

void startThreads(int total) {
    for (int i = 1; i < total; ++i) startIdleThread();
}

}  // namespace

int main(int argc, char** argv) {
    int threads = argc > 1 ? std::atoi(argv[1]) : 1;
    int childThreads = argc > 2 ? std::atoi(argv[2]) : 0;
    if (childThreads > 0) {
        int ready[2];
        if (::pipe(ready) != 0) return 2;
        pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            startThreads(childThreads);
            if (::write(ready[1], "r", 1) != 1) return 2;
            for (;;) ::pause();
        }
        char byte = 0;
        if (child < 0 || ::read(ready[0], &byte, 1) != 1) return 2;
    }
    startThreads(threads);
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line != "thread") continue;
        int tid = 0;
        startIdleThread(&tid);
        std::cout << "thread " << tid << std::endl;
    }
    return 0;
}
