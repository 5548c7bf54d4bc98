#pragma once
// A private folder for one test, removed with everything in it at the end.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace korvane::testing {

class TempTree {
public:
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korvane-test-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    // Writes a file, creating its folders; returns its full path.
    std::string write(const std::string& relative, const std::string& content) const {
        std::filesystem::path full = path(relative);
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << content;
        return full.string();
    }
    std::string link(const std::string& relative, const std::string& target) const {
        std::filesystem::path full = path(relative);
        std::filesystem::create_directories(full.parent_path());
        std::filesystem::create_symlink(target, full);
        return full.string();
    }
    std::string executable(const std::string& relative) const {
        std::string full = write(relative, "#!/bin/sh\n");
        std::filesystem::permissions(full, std::filesystem::perms::owner_all);
        return full;
    }

private:
    std::string root_;
};

}  // namespace korvane::testing
