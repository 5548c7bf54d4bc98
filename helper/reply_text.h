#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shared/process/task_policy.h"
#include "shared/protocol/reply_limit.h"

namespace korvane::helper {

// A tool's output as it goes into a reply: decoded as UTF-8 and trimmed of
// white space and newlines at both ends; empty when the bytes are not UTF-8.
std::string trimmedToolOutput(std::string_view bytes);

// What a client is told (and the log shows) when the policy could not be
// given to or taken from `pid`.
std::string taskPolicyFailureText(std::int32_t pid, const TaskPolicyFailure& failure);

// One log line for any text: control characters, newlines among them,
// become visible escapes (\n, \t, \r, \xNN), so that what a client or
// another process wrote can never start a line of its own.
std::string escapedControlCharacters(std::string_view text);

}  // namespace korvane::helper
