#pragma once
// A private folder for one test, standing in for /sys, /proc, a data folder or
// a socket's folder; removed with everything in it at the end.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace korvane::testing {

class FixtureTree {
public:
    // In the temporary folder, or in `parent`.
    explicit FixtureTree(const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
        std::string pattern = (parent / "korvane-test-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~FixtureTree() {
        std::error_code ignored;
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    FixtureTree(const FixtureTree&) = delete;
    FixtureTree& operator=(const FixtureTree&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    // Writes `text` exactly, creating the folders on the way; the full path.
    std::string write(const std::string& relative, const std::string& text, mode_t mode = 0644) const {
        std::string full = mkdirFor(relative);
        std::ofstream(full, std::ios::binary | std::ios::trunc) << text;
        ::chmod(full.c_str(), mode);
        return full;
    }
    std::string read(const std::string& relative) const {
        std::stringstream text;
        text << std::ifstream(path(relative), std::ios::binary).rdbuf();
        return text.str();
    }
    void remove(const std::string& relative) const { std::filesystem::remove(path(relative)); }
    std::string mkdir(const std::string& relative) const {
        std::filesystem::create_directories(path(relative));
        return path(relative);
    }
    std::string symlink(const std::string& relative, const std::string& target) const {
        std::string full = mkdirFor(relative);
        std::filesystem::create_symlink(target, full);
        return full;
    }
    // A program that does nothing, for the places that look for executables.
    std::string executable(const std::string& relative) const { return write(relative, "#!/bin/sh\n", 0700); }

private:
    std::string mkdirFor(const std::string& relative) const {
        std::filesystem::path full = path(relative);
        std::filesystem::create_directories(full.parent_path());
        return full.string();
    }

    std::string root_;
};

}  // namespace korvane::testing
