#pragma once
#include "shared/process/process_runner.h"

namespace korvane::linux_platform {

// Starts programs with posix_spawn and reads their output through a pipe until
// it closes, so a listing larger than the pipe never stalls the child.
class SpawnProcessRunner final : public ProcessRunner {
public:
    Expected<ProcessResult, LaunchError> run(const std::string& path,
                                             const std::vector<std::string>& arguments,
                                             OutputCapture capture) override;
    Expected<ProcessResult, LaunchError> runStreaming(const std::string& path,
                                                      const std::vector<std::string>& arguments,
                                                      OutputCapture capture, const OutputChunks& onOutput) override;
};

}  // namespace korvane::linux_platform
