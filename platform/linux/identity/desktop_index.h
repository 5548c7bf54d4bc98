#pragma once
// The installed desktop entries, read once and read again only when their
// folders change, so a scan every few seconds costs a handful of stat calls
// instead of re-parsing every entry.
#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "shared/identity/desktop_entry.h"
#include "platform/linux/identity/executable_search.h"
#include "platform/linux/identity/reading_rights.h"

namespace korvane::identity {

// A data folder and whose rights it is read with: a user's own (named by a
// process's environment, or in its owner's home) with that user's, the
// system's with the helper's.
struct DataFolder {
    std::string path;
    std::optional<FileReader> reader;  // none: the system's folder
    auto operator<=>(const DataFolder&) const = default;
};

// What one folder's index may take: entries are small, and a user's folder
// stuffed with large files or links must not swell the helper.
inline constexpr std::size_t kMaxEntryBytes = 64 * 1024;
inline constexpr std::size_t kMaxFolderBytes = 4 << 20;
inline constexpr std::size_t kMaxIndexedBytes = 32 << 20;

// The entries below one data folder's applications/ subfolder.
class DataFolderIndex {
public:
    DataFolderIndex(DataFolder dataFolder, const ExecutableSearch& search, std::size_t byteBudget);

    // Whether an entry may have been added, removed or renamed since the last
    // read: some folder's modification time, or whether it exists, changed.
    bool changedOnDisk() const;
    // Reads the entries again, taking at most `byteBudget` bytes of files.
    void reload(std::size_t byteBudget);
    std::size_t bytesRead() const { return bytesRead_; }

    const std::string& dataFolder() const { return dataFolder_.path; }
    const DesktopEntry* entryWithID(const std::string& id) const;
    // The entry at `relative`, a path below the applications/ subfolder.
    const DesktopEntry* entryAtRelativePath(const std::string& relative) const;
    // IDs of the entries whose TryExec or first Exec word is `executable`
    // (canonical path), in ID order.
    const std::vector<std::string>* idsForExecutable(const std::string& executable) const;
    // IDs of the entries whose StartupWMClass is `wmClass`, in ID order.
    const std::vector<std::string>* idsForStartupWMClass(const std::string& wmClass) const;

private:
    struct FolderStamp {
        std::string path;
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        timespec modified{};
    };
    static FolderStamp stampOf(const std::string& path);

    DataFolder dataFolder_;
    const ExecutableSearch& search_;
    std::size_t bytesRead_ = 0;
    std::vector<FolderStamp> stamps_;
    // A folder changed within the file system's timestamp granularity of the
    // read may change again without its time moving; such a read is redone.
    bool unsettled_ = false;
    std::vector<DesktopEntry> entries_;
    std::unordered_map<std::string, std::size_t> byID_;
    std::unordered_map<std::string, std::size_t> byRelativePath_;
    std::unordered_map<std::string, std::vector<std::string>> idsByExecutable_;
    std::unordered_map<std::string, std::vector<std::string>> idsByStartupWMClass_;
};

// Every data folder a lookup has named so far. Thread-safe: the helper's scans
// run on several threads.
//
// Data folders come from the processes looked at, so any user can name as
// many as they like. A folder is read once whatever names it (by its device
// and inode, for the same reader); each user brings at most
// kMaxFoldersPerUser folders into the index, and gives one up only when no
// lookup has named it for a while; and each refresh re-reads changed folders
// within a budget shared in turn between their users, so nobody's folders
// keep another's from being read on time.
class DesktopIndex {
public:
    static constexpr std::size_t kMaxFoldersPerUser = 8;
    static constexpr std::size_t kMaxFolders = 256;
    // Bytes of entries one refresh re-reads at most (one folder always).
    static constexpr std::size_t kRefreshBudget = 4 << 20;

    explicit DesktopIndex(ExecutableSearch search) : search_(std::move(search)) {}

    // Re-reads the folders that changed on disk, within the budget: users'
    // changed folders in turn, one each round, starting with the user after
    // the last one served. Returns whether any was re-read.
    bool refreshChanged(std::size_t budget = kRefreshBudget);
    // Moves on every re-read, so derived answers can be dropped.
    std::uint64_t generation() const;
    // The generation at which any of these data folders was last re-read
    // (or admitted after a refusal, or given up); answers derived from them
    // at a later generation still hold.
    std::uint64_t lastChangeOf(const std::vector<std::string>& dataFolders) const;
    // How many times a folder has been read, first reads included.
    std::size_t foldersRead() const;

    // The ID of the entry at `path` if it lies in a folder read before and
    // names an application.
    std::optional<std::string> appIDForEntryPath(const std::string& path);
    // The entry that owns `executable` for a user whose data folders are
    // `dataFolders` (highest precedence first): its path, or nothing. Entries
    // hidden or replaced by a folder of higher precedence do not count; when
    // several own the program, the one whose ID is the program's own name
    // wins, otherwise the first in precedence order.
    std::optional<std::string> entryPathForExecutable(const std::vector<DataFolder>& dataFolders,
                                                      const std::string& executable);
    // Reads the folders (if new) so paths below them can be looked up.
    void include(const std::vector<DataFolder>& dataFolders);
    // The entry an application ID stands for, first match in precedence order.
    std::optional<DesktopEntry> entryForAppID(const std::vector<DataFolder>& dataFolders, const std::string& id);
    // The entry whose StartupWMClass is exactly `wmClass`, first in
    // precedence order; only an ID's winning file counts.
    std::optional<DesktopEntry> entryForStartupWMClass(const std::vector<DataFolder>& dataFolders,
                                                       const std::string& wmClass);

private:
    // One folder as its reader sees it: its device and inode, or its path
    // while it does not exist.
    struct Identity {
        std::optional<FileReader> reader;
        dev_t device = 0;
        ino_t inode = 0;
        std::string missingPath;
        auto operator<=>(const Identity&) const = default;
    };
    struct Folder {
        std::unique_ptr<DataFolderIndex> index;
        std::optional<uid_t> owner;  // none: the system's
        std::uint64_t lastNamed = 0;  // the refresh count when a lookup last named it
    };
    static Identity identityOf(const DataFolder& dataFolder);
    // Reads the folders not read yet, as far as their users' share allows;
    // afterwards each is known or refused for now.
    void ensure(const std::vector<DataFolder>& dataFolders);
    bool admit(const DataFolder& dataFolder, const Identity& identity);
    const DataFolderIndex* known(const DataFolder& dataFolder) const;
    const DesktopEntry* winner(const std::vector<DataFolder>& dataFolders, const std::string& id) const;
    // What a folder other than `except` may still read under kMaxIndexedBytes.
    std::size_t budgetBeside(const DataFolderIndex* except) const;
    void changed(const Identity& identity);

    mutable std::mutex mutex_;
    ExecutableSearch search_;
    std::map<Identity, Folder> folders_;
    std::map<DataFolder, Identity> names_;  // every name a folder was known by
    std::map<DataFolder, std::uint64_t> refusedAt_;  // a refused name, and the refresh count then
    std::uint64_t refreshes_ = 0;
    std::optional<uid_t> lastServed_;  // the user whose folder the last refresh read last
    std::size_t foldersRead_ = 0;
    std::uint64_t generation_ = 0;
    std::map<std::string, std::uint64_t> changedAt_;  // by folder path
};

}  // namespace korvane::identity
