#pragma once
// Reading files with a user's rights instead of the helper's. Folders that a
// process names in its environment, or that lie in its owner's home, are that
// user's to fill: links in them may point at files only root may read, so
// the helper reads them as the user would.
#include <sys/types.h>

#include <compare>
#include <optional>
#include <string>
#include <vector>

namespace korvane::identity {

struct FileReader {
    uid_t uid = 0;
    gid_t gid = 0;
    auto operator<=>(const FileReader&) const = default;
};

// Whose rights a process's files are read with: the first of its real,
// effective, saved and file-system ids that is not root, so a user's setuid
// program or a process that made itself non-dumpable (whose /proc folder
// then belongs to root) still counts as the user's. Root only when every id
// is root. From /proc/PID/status; nothing when the process is gone.
std::optional<FileReader> processOwner(const std::string& procRoot, pid_t pid);

// While it lives, the calling thread (and only it) opens and stats files as
// `reader`: its file-system ids become the reader's and its supplementary
// groups are dropped, so neither root's rights nor root's groups apply. No
// reader, a root reader, or a process that is not root change nothing.
class ReadingAs {
public:
    explicit ReadingAs(const std::optional<FileReader>& reader);
    ~ReadingAs();
    ReadingAs(const ReadingAs&) = delete;
    ReadingAs& operator=(const ReadingAs&) = delete;

    // False when the rights could not be taken; then nothing may be read.
    bool ok() const { return ok_; }

private:
    bool switched_ = false;
    bool ok_ = true;
    std::vector<gid_t> groups_;
};

}  // namespace korvane::identity
