#pragma once
// A HelperTool on a virtual main loop with a fake taskpolicy runner, and a way
// to collect the replies it sends.
#include <memory>
#include <optional>
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
    log::CapturedLines log;
    VirtualMainLoop loop;
    FakeProcessRunner runner;
    std::set<std::int32_t> livingPIDs;
    std::unique_ptr<helper::HelperTool> tool = std::make_unique<helper::HelperTool>(helper::HelperToolDependencies{
        .mainLoop = loop,
        .runner = runner,
        .taskPolicyPath = "/usr/local/libexec/korvane/taskpolicy",
        .scanner = nullptr,
        .processExists = [this](std::int32_t pid) { return livingPIDs.contains(pid); },
    });
};

}  // namespace korvane::testing
