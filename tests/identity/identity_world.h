#pragma once
// What an identity resolver reads, in a private folder: desktop entries in
// two system data folders and a user's, programs on a search path, and a
// /proc of root's processes (their files are read with the test's rights).
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/identity/identity_resolver.h"
#include "tests/fakes/fake_unit_lookup.h"
#include "tests/fakes/fixture_tree.h"

namespace korvane::testing {

class IdentityWorld : public ::testing::Test {
protected:
    identity::IdentityConfig config() {
        identity::IdentityConfig c;
        c.procRoot = tree.path("proc");
        c.systemDataFolders = {local, usr};
        c.executableSearchPath = {tree.path("bin")};
        c.homeOf = [this](uid_t) { return std::optional(tree.path("home/ann")); };
        return c;
    }
    std::string entry(const std::string& dataFolder, const std::string& relative, const std::string& keys) {
        return tree.write(dataFolder.substr(tree.root().size() + 1) + "/applications/" + relative,
                          "[Desktop Entry]\nType=Application\n" + keys);
    }
    void ownedByRoot(int pid) {
        tree.write("proc/" + std::to_string(pid) + "/status", "Uid:\t0\t0\t0\t0\nGid:\t0\t0\t0\t0\n");
    }
    void process(int pid, const std::string& leaf, const std::string& content) {
        ownedByRoot(pid);
        tree.write("proc/" + std::to_string(pid) + "/" + leaf, content);
    }
    void runs(int pid, const std::string& executable) {
        ownedByRoot(pid);
        tree.symlink("proc/" + std::to_string(pid) + "/exe", executable);
    }

    FixtureTree tree;
    std::string usr = tree.path("usr/share");
    std::string local = tree.path("usr/local/share");
    std::string home = tree.path("home/ann/.local/share");
    FakeUnits units;
    identity::IdentityResolver resolver{config(), units};
};

}  // namespace korvane::testing
