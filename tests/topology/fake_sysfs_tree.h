#pragma once
// A throw-away sysfs tree for topology tests: files written where the
// kernel would have them, removed again when the tree ends.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "shared/topology/cpu_list.h"

namespace korvane::testing {

class FakeSysfsTree {
public:
    FakeSysfsTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-sysfs-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~FakeSysfsTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    FakeSysfsTree(const FakeSysfsTree&) = delete;
    FakeSysfsTree& operator=(const FakeSysfsTree&) = delete;

    const std::string& root() const { return root_; }

    void write(const std::string& relativePath, const std::string& content) {
        auto path = std::filesystem::path(root_) / relativePath;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
    }
    // devices/system/cpu/online plus a folder per CPU up to `lastCpu`.
    void cpus(const std::string& online, int lastCpu) {
        write("devices/system/cpu/online", online + "\n");
        for (int cpu = 0; cpu <= lastCpu; ++cpu) {
            std::filesystem::create_directories(std::filesystem::path(root_) / "devices/system/cpu" /
                                                ("cpu" + std::to_string(cpu)));
        }
    }

private:
    std::string root_;
};

}  // namespace korvane::testing
