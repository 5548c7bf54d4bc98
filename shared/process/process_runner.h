#pragma once
// Starting a program and collecting what it printed. The helper runs our
// taskpolicy through this; tests put a fake behind it.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/util/expected.h"

namespace korvane {

enum class OutputCapture {
    Combined,        // standard output and standard error into one captured stream
    StandardOutput,  // standard output captured, standard error to the null device
};

struct ProcessResult {
    int exitStatus = 0;  // the program's exit status; 128 + signal number when a signal ended it
    std::string output;  // raw bytes, not decoded
};

struct LaunchError {
    std::string reason;  // readable, e.g. "No such file or directory"
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // Runs `path` with `arguments` (not including argv[0]) and waits for it to
    // exit, draining its output while it runs.
    virtual Expected<ProcessResult, LaunchError> run(const std::string& path,
                                                     const std::vector<std::string>& arguments,
                                                     OutputCapture capture) = 0;

    // Each piece of captured output, as it arrives, on the thread that runs the program.
    using OutputChunks = std::function<void(std::string_view chunk)>;
    // Like run(), also handing the output to `onOutput` while the program runs
    // (for progress shown live). A runner that cannot stream hands it over at
    // the end.
    virtual Expected<ProcessResult, LaunchError> runStreaming(const std::string& path,
                                                              const std::vector<std::string>& arguments,
                                                              OutputCapture capture, const OutputChunks& onOutput) {
        auto result = run(path, arguments, capture);
        if (result && onOutput && !result->output.empty()) onOutput(result->output);
        return result;
    }
};

}  // namespace korvane
