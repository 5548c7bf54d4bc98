#pragma once
// A HelperTool on a virtual main loop with a fake task policy and a
// process table the test controls, and a way to collect the replies it sends.
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "helper/helper_tool.h"
#include "shared/log/log.h"
#include "testing/virtual_main_loop.h"
#include "tests/fakes/fake_task_policy.h"
#include "tests/fakes/memory_record.h"

namespace korvane::testing {

struct RecordedReply {
    bool success;
    std::optional<std::string> message;
    bool operator==(const RecordedReply&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const RecordedReply& r) {
        return out << (r.success ? "success" : "failure") << (r.message ? ": " + *r.message : "");
    }
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
    explicit HelperToolFixture(helper::ProcessScanner* scanner = nullptr) : tool(makeTool(scanner)) {}

    // A tool on this fixture's loop, runner, process table and record, as a
    // restarted helper would be.
    std::unique_ptr<helper::HelperTool> makeTool(helper::ProcessScanner* scanner = nullptr) {
        return std::make_unique<helper::HelperTool>(helper::HelperToolDependencies{
            .mainLoop = loop,
            .taskPolicy = policy,
            .scanner = scanner,
            .startTimeOf = [this](std::int32_t pid) -> std::optional<std::uint64_t> {
                if (endedPIDs.contains(pid)) return std::nullopt;
                auto started = startTimes.find(pid);
                return started == startTimes.end() ? 1 : started->second;
            },
            .throttledRecord = &record,
        });
    }


    log::CapturedLines log;
    VirtualMainLoop loop;
    FakeTaskPolicy policy;
    // Every pid names a living process that started at 1, unless it is here.
    std::set<std::int32_t> endedPIDs;
    std::map<std::int32_t, std::uint64_t> startTimes;  // a new start time is a reused pid
    MemoryRecord record;
    std::unique_ptr<helper::HelperTool> tool;
};

}  // namespace korvane::testing
