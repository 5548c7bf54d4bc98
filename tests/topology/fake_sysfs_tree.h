#pragma once
// A throw-away directory tree standing in for sysfs (or /proc) in tests:
// files written where the kernel would have them, removed at the end.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace korvane::testing {

class FakeSysfsTree {
public:
    FakeSysfsTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-tree-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~FakeSysfsTree() { std::filesystem::remove_all(root_); }
    FakeSysfsTree(const FakeSysfsTree&) = delete;
    FakeSysfsTree& operator=(const FakeSysfsTree&) = delete;

    const std::string& root() const { return root_; }
    void write(const std::string& relativePath, const std::string& content) {
        auto path = std::filesystem::path(root_) / relativePath;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
    }
    void online(const std::string& cpus) { write("devices/system/cpu/online", cpus + "\n"); }

private:
    std::string root_;
};

}  // namespace korvane::testing
