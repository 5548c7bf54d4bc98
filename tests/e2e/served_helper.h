#pragma once
// The built helper on a socket in a private folder, and korvanectl to speak
// to it: the set-up the helper's end-to-end tests share. Whoever includes it
// defines KORVANE_HELPER_BINARY and KORVANE_CTL_BINARY.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/fakes/fixture_tree.h"
#include "tests/fakes/helper_daemon.h"

namespace korvane::testing {

// korvanectl asking the helper at `socket`.
inline CommandResult korvanectl(const std::string& socket, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {KORVANE_CTL_BINARY, "--socket", socket});
    return runCommand(arguments);
}

class ServedHelper : public ::testing::Test {
protected:
    // `binary` serving the test's user on the socket, its log in the folder.
    void startHelper(Environment environment, const std::string& binary = KORVANE_HELPER_BINARY) {
        helper.emplace(binary, socketPath, dir.path("helper.log"), std::move(environment));
        ASSERT_TRUE(helper->waitUntilListening()) << helper->log();
    }
    CommandResult ctl(std::vector<std::string> arguments) const { return korvanectl(socketPath, std::move(arguments)); }

    FixtureTree dir;
    std::string socketPath = dir.path("helper.sock");
    std::optional<HelperDaemon> helper;
};

}  // namespace korvane::testing
