#pragma once
// A HelperTool on a virtual main loop with a fake taskpolicy runner and a set
// of living pids the test controls, and a way to collect the replies it sends.
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "helper/helper_tool.h"
#include "shared/log/log.h"
#include "shared/mainloop/virtual_main_loop.h"
#include "tests/fakes/fake_process_runner.h"

namespace korvane::testing {

struct RecordedReply {
    bool success;
    std::optional<std::string> message;
};

class Replies {
public:
    ReplyBlock block() {
        return [this](bool success, std::optional<std::string> message) {
            received.push_back({success, std::move(message)});
        };
    }
    std::vector<RecordedReply> received;
};

struct HelperToolFixture {
    explicit HelperToolFixture(helper::ProcessScanner* scanner = nullptr)
        : tool(std::make_unique<helper::HelperTool>(helper::HelperToolDependencies{
              .mainLoop = loop,
              .runner = runner,
              .taskPolicyPath = "/usr/local/libexec/korvane/taskpolicy",
              .scanner = scanner,
              .processExists = [this](std::int32_t pid) { return livingPIDs.contains(pid); },
          })) {}

    log::CapturedLines log;
    VirtualMainLoop loop;
    FakeProcessRunner runner;
    std::set<std::int32_t> livingPIDs;  // asked on the main loop's ticks only
    std::unique_ptr<helper::HelperTool> tool;
};

}  // namespace korvane::testing
